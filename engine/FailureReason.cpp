#include "engine/FailureReason.h"

#include "engine/LocalFailure.h"
#include "http/HttpError.h"
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
    case Kind::BodyNotStored:
        break;
    }
    return std::string("не удаётся записать файл"_cp1251);
}

} // namespace

std::string failureReasonOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const LocalFailure& local) {
        return reasonOf(local);
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
    default:
        return std::string("ошибка записи"_cp1251);
    }
}

bool isLocalFailure(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const LocalFailure&) {
        return true;
    } catch (...) {
    }
    return false;
}

} // namespace tolvenka
