#include "engine/FailureReason.h"

#include "engine/LocalFailure.h"
#include "http/HttpError.h"
#include "support/Cp1251.h"

#include <cerrno>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

std::string text(std::string_view cp1251) {
    return std::string(cp1251);
}

std::string reasonOf(const LocalFailure& failure) {
    switch (failure.kind()) {
    case LocalFailure::Kind::NoSpace:
        return text("нет места на диске"_cp1251);
    case LocalFailure::Kind::NoAccess:
        return text("нет доступа к папке "_cp1251) + failure.path();
    case LocalFailure::Kind::CannotCreateFolder:
        return text("не удаётся создать папку "_cp1251) + failure.path();
    case LocalFailure::Kind::TargetIsFolder:
        return text("на месте файла папка"_cp1251);
    case LocalFailure::Kind::CannotWrite:
        break;
    }
    return text("не удаётся записать файл "_cp1251) + failure.path();
}

std::string reasonOf(const http::HttpError& failure) {
    using Kind = http::HttpError::Kind;
    switch (failure.kind()) {
    case Kind::Unresolved:
        return text("сервер не найден"_cp1251);
    case Kind::Refused:
        return text("сервер отклонил соединение"_cp1251);
    case Kind::Unreachable:
        return text("сервер недоступен"_cp1251);
    case Kind::TimedOut:
        return text("сервер не отвечает"_cp1251);
    case Kind::ConnectionLost:
        return text("соединение разорвано"_cp1251);
    case Kind::Disconnected:
        return text("соединение прервано"_cp1251);
    case Kind::Malformed:
        return text("ответ сервера не понят"_cp1251);
    case Kind::TooLarge:
        return text("ответ сервера слишком велик"_cp1251);
    case Kind::Status:
        if (const auto* status = dynamic_cast<const http::HttpStatusError*>(&failure)) {
            return text("сервер вернул ошибку "_cp1251) + std::to_string(status->getStatusCode());
        }
        return text("сервер вернул ошибку"_cp1251);
    case Kind::Unsupported:
        return text("адрес не поддерживается"_cp1251);
    case Kind::BodyNotStored:
        break;
    }
    return text("не удаётся записать файл"_cp1251);
}

} // namespace

LocalFailure LocalFailure::fromError(int error, Kind kind, const std::string& path) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return LocalFailure(Kind::NoSpace, path);
    case EISDIR:
        return LocalFailure(Kind::TargetIsFolder, path);
    default:
        return LocalFailure(kind, path);
    }
}

std::string failureReasonOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const LocalFailure& local) {
        return reasonOf(local);
    } catch (const http::HttpError& network) {
        return reasonOf(network);
    } catch (...) {
    }
    return text("внутренняя ошибка программы"_cp1251);
}

std::string unknownReplyReason() {
    return text("ответ сервера не понят"_cp1251);
}

std::string fileSaveReason(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return text("нет места на диске"_cp1251);
    case EACCES:
    case EPERM:
    case EROFS:
        return text("нет доступа к файлу"_cp1251);
    default:
        return text("ошибка записи"_cp1251);
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
