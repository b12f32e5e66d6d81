#include "engine/FailureReason.h"

#include "engine/LocalFailure.h"
#include "engine/UnprotectedAddressFailure.h"
#include "http/CertificateError.h"
#include "http/HttpError.h"
#include "http/ProxyError.h"
#include "support/Cp1251.h"

#include <cerrno>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

std::string reasonOf(const LocalFailure& failure) {
    switch (failure.kind()) {
    case LocalFailure::Kind::NoSpace:
        return std::string("нет места на диске"_cp1251);
    case LocalFailure::Kind::NoAccess:
        return std::string("нет доступа к папке "_cp1251) + failure.path();
    case LocalFailure::Kind::CannotCreateFolder:
        return std::string("не удаётся создать папку "_cp1251) + failure.path();
    case LocalFailure::Kind::TargetIsFolder:
        return std::string("на месте файла папка"_cp1251);
    case LocalFailure::Kind::CannotWrite:
        break;
    }
    return std::string("не удаётся записать файл "_cp1251) + failure.path();
}

std::string certificateProblemText(const http::CertificateError& failure) {
    using Problem = http::CertificateError::Problem;
    switch (failure.problem()) {
    case Problem::WrongHost:
        return std::string("выдан для другого адреса"_cp1251);
    case Problem::UnknownIssuer:
        return std::string("издатель неизвестен"_cp1251);
    case Problem::SelfSigned:
        return std::string("подписан сам собой"_cp1251);
    case Problem::Expired:
        return std::string("срок действия истёк"_cp1251);
    case Problem::NotYetValid:
        return std::string("срок действия ещё не начался"_cp1251);
    case Problem::Revoked:
        return std::string("отозван"_cp1251);
    case Problem::BadSignature:
        return std::string("подпись неверна"_cp1251);
    case Problem::WrongPurpose:
        return std::string("не предназначен для сервера"_cp1251);
    case Problem::TooWeak:
        return std::string("слишком слабый ключ или подпись"_cp1251);
    case Problem::NotAnAuthority:
        return std::string("издатель не вправе выдавать сертификаты"_cp1251);
    case Problem::Untrusted:
        return std::string("не признан доверенным"_cp1251);
    case Problem::Other:
        break;
    }
    // The verifier's own words are English; its number at least lets the
    // user look the problem up.
    return std::string("ошибка проверки "_cp1251) + std::to_string(failure.verifyResult());
}

std::string reasonOf(const http::CertificateError& failure) {
    return std::string("сертификат сервера не подтверждён: "_cp1251) +
           certificateProblemText(failure);
}

// A proxy's status line is the proxy's English; its code stays, for the
// user to quote, with the meaning of the codes that a user can act on.
std::string proxyRefusal(int statusCode) {
    std::string text = std::to_string(statusCode);
    switch (statusCode) {
    case 401: // what some proxies answer to a wrong password on CONNECT
    case 407:
        return text + std::string(" — нужен другой пароль"_cp1251);
    case 403:
        return text + std::string(" — доступ запрещён"_cp1251);
    default:
        return text;
    }
}

std::string socksRefusal(int code) {
    switch (code) {
    case 1:
        return std::string("общий сбой"_cp1251);
    case 2:
        return std::string("запрещено правилами"_cp1251);
    case 3:
        return std::string("сеть недоступна"_cp1251);
    case 4:
        return std::string("узел недоступен"_cp1251);
    case 5:
        return std::string("соединение отклонено"_cp1251);
    case 6:
        return std::string("время истекло"_cp1251);
    case 7:
        return std::string("команда не поддерживается"_cp1251);
    case 8:
        return std::string("тип адреса не поддерживается"_cp1251);
    default:
        return std::string("код "_cp1251) + std::to_string(code);
    }
}

std::string reasonOf(const http::ProxyError& failure) {
    using Problem = http::ProxyError::Problem;
    const std::string proxy = std::string("прокси-сервер "_cp1251) + failure.proxy();
    const std::string refused = proxy + std::string(" отказал: "_cp1251);
    switch (failure.problem()) {
    case Problem::BadAddress:
        break;
    case Problem::Unreachable:
        return proxy + std::string(" недоступен"_cp1251);
    case Problem::NotAnswering:
        return proxy + std::string(" не отвечает"_cp1251);
    case Problem::TooSlow:
        return proxy + std::string(" не ответил вовремя"_cp1251);
    case Problem::Malformed:
        return proxy + std::string(" ответил не по протоколу"_cp1251);
    case Problem::Refused:
        return refused + proxyRefusal(failure.replyCode());
    case Problem::SocksRefused:
        return refused + socksRefusal(failure.replyCode());
    case Problem::SocksWantsPassword:
        return refused + std::string("нужны имя и пароль"_cp1251);
    case Problem::SocksPasswordRejected:
        return refused + std::string("неверное имя или пароль"_cp1251);
    case Problem::SocksNoMethod:
        return refused + std::string("способ входа не поддерживается"_cp1251);
    }
    return std::string("адрес прокси-сервера не понят"_cp1251);
}

// A proxy's answer that no new try changes: the address, the password or
// what the proxy allows. Its refusals that tell of the server behind it (a
// bad gateway, a host it cannot reach) are the server's failures.
bool isRefusalForTheUser(const http::ProxyError& failure) {
    using Problem = http::ProxyError::Problem;
    switch (failure.problem()) {
    case Problem::BadAddress:
    case Problem::SocksWantsPassword:
    case Problem::SocksPasswordRejected:
    case Problem::SocksNoMethod:
        return true;
    case Problem::Refused:
        return failure.replyCode() == 401 || failure.replyCode() == 403 ||
               failure.replyCode() == 407;
    case Problem::SocksRefused:
        // Not allowed by its rules; a command or an address type it does
        // not take.
        return failure.replyCode() == 2 || failure.replyCode() == 7 || failure.replyCode() == 8;
    default:
        return false;
    }
}

std::string reasonOf(const http::HttpError& failure) {
    using Kind = http::HttpError::Kind;
    switch (failure.kind()) {
    case Kind::Unresolved:
        return std::string("сервер не найден"_cp1251);
    case Kind::Refused:
        return std::string("сервер отклонил соединение"_cp1251);
    case Kind::Unreachable:
        return std::string("сервер недоступен"_cp1251);
    case Kind::TimedOut:
        return std::string("сервер не отвечает"_cp1251);
    case Kind::TooSlow:
        return std::string("ответ сервера не пришёл вовремя"_cp1251);
    case Kind::ConnectionLost:
        return std::string("соединение разорвано"_cp1251);
    case Kind::Disconnected:
        return std::string("соединение прервано"_cp1251);
    case Kind::Malformed:
        return std::string("ответ сервера не понят"_cp1251);
    case Kind::TooLarge:
        return std::string("ответ сервера слишком велик"_cp1251);
    case Kind::Status:
        if (const auto* status = dynamic_cast<const http::HttpStatusError*>(&failure)) {
            return std::string("сервер вернул ошибку "_cp1251) +
                   std::to_string(status->getStatusCode());
        }
        return std::string("сервер вернул ошибку"_cp1251);
    case Kind::Unsupported:
        return std::string("адрес не поддерживается"_cp1251);
    case Kind::Certificate:
        if (const auto* certificate = dynamic_cast<const http::CertificateError*>(&failure)) {
            return reasonOf(*certificate);
        }
        return std::string("сертификат сервера не подтверждён"_cp1251);
    case Kind::Handshake:
        return std::string("не удалось установить защищённое соединение"_cp1251);
    case Kind::TooManyRedirects:
        return std::string("слишком много перенаправлений"_cp1251);
    case Kind::BadRedirect:
        return std::string("перенаправление на неподдерживаемый адрес"_cp1251);
    case Kind::Proxy:
        if (const auto* proxy = dynamic_cast<const http::ProxyError*>(&failure)) {
            return reasonOf(*proxy);
        }
        return std::string("прокси-сервер недоступен"_cp1251);
    case Kind::BodyNotStored:
        break;
    }
    return std::string("не удаётся записать файл"_cp1251);
}

// An address comes from a server's page, which may make it as long as it
// likes; a reason stays short enough to be read.
std::string shownAddress(const std::string& address) {
    constexpr std::size_t longestShown = 200;
    if (address.size() <= longestShown) {
        return address;
    }
    return address.substr(0, longestShown) + std::string("…"_cp1251);
}

} // namespace

std::string failureReasonOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const LocalFailure& local) {
        return reasonOf(local);
    } catch (const UnprotectedAddressFailure& unprotected) {
        return std::string("страница указала незащищённый адрес "_cp1251) +
               shownAddress(unprotected.address()) + std::string(" — "_cp1251) +
               failureReasonOf(unprotected.cause());
    } catch (const http::HttpError& network) {
        return reasonOf(network);
    } catch (...) {
    }
    return std::string("внутренняя ошибка программы"_cp1251);
}

std::string unknownReplyReason() {
    return std::string("ответ сервера не понят"_cp1251);
}

std::string fileSaveReason(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return std::string("нет места на диске"_cp1251);
    case EACCES:
    case EPERM:
    case EROFS:
        return std::string("нет доступа к файлу"_cp1251);
    case ENOENT:
    case ENOTDIR:
        return std::string("нет папки для файла"_cp1251);
    case EFBIG:
        return std::string("файл слишком велик"_cp1251);
    default:
        return std::string("ошибка записи"_cp1251);
    }
}

std::string fileReadReason(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return std::string("нет доступа к файлу"_cp1251);
    case EINVAL:
        return std::string("это не обычный файл"_cp1251);
    case EFBIG:
        return std::string("файл слишком велик"_cp1251);
    case EILSEQ:
        return std::string("путь к файлу не поддерживается"_cp1251);
    default:
        return std::string("ошибка чтения"_cp1251);
    }
}

bool needsTheUser(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const LocalFailure&) {
        return true;
    } catch (const UnprotectedAddressFailure& unprotected) {
        return needsTheUser(unprotected.cause());
    } catch (const http::CertificateError&) {
        return true;
    } catch (const http::ProxyError& proxy) {
        return isRefusalForTheUser(proxy);
    } catch (...) {
    }
    return false;
}

bool blocksEveryDownload(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const UnprotectedAddressFailure& unprotected) {
        return blocksEveryDownload(unprotected.cause());
    } catch (const http::ProxyError& proxy) {
        return proxy.problem() == http::ProxyError::Problem::Unreachable;
    } catch (...) {
    }
    return false;
}

} // namespace tolvenka
