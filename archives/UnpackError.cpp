#include "archives/UnpackError.h"

#include "engine/FailureReason.h"
#include "support/Cp1251.h"

#include <cerrno>

namespace tolvenka::archives {

using namespace kestrune::text::literals;

namespace {

using Result = UnpackOutcome::Result;

std::string quoted(const std::string& name) {
    return std::string("«"_cp1251) + name + std::string("»"_cp1251);
}

UnpackError failure(std::string reason) {
    return UnpackError(Result::Failed, std::move(reason));
}

} // namespace

UnpackError UnpackError::absolutePath(const std::string& entry) {
    return failure(std::string("запись "_cp1251) + quoted(entry) +
                   std::string(" с абсолютным путём"_cp1251));
}

UnpackError UnpackError::leadsOutOfFolder(const std::string& entry) {
    return failure(std::string("запись "_cp1251) + quoted(entry) +
                   std::string(" ведёт за пределы папки"_cp1251));
}

UnpackError UnpackError::linkLeadsOut(const std::string& entry) {
    return failure(std::string("символическая ссылка "_cp1251) + quoted(entry) +
                   std::string(" ведёт за пределы папки"_cp1251));
}

UnpackError UnpackError::throughLink(const std::string& entry) {
    return failure(std::string("запись "_cp1251) + quoted(entry) +
                   std::string(" проходит через символическую ссылку"_cp1251));
}

UnpackError UnpackError::hardLinkOutside(const std::string& entry) {
    return failure(std::string("жёсткая ссылка "_cp1251) + quoted(entry) +
                   std::string(" ведёт на файл вне набора"_cp1251));
}

UnpackError UnpackError::specialFile(const std::string& entry, SpecialKind kind) {
    std::string what;
    switch (kind) {
    case SpecialKind::Device:
        what = "устройство"_cp1251;
        break;
    case SpecialKind::Pipe:
        what = "именованный канал"_cp1251;
        break;
    case SpecialKind::Socket:
        what = "сокет"_cp1251;
        break;
    }
    return failure(std::string("запись "_cp1251) + quoted(entry) + std::string(" — "_cp1251) +
                   what);
}

UnpackError UnpackError::largerThanDeclared(const std::string& entry) {
    return failure(std::string("запись "_cp1251) + quoted(entry) +
                   std::string(" больше заявленного размера"_cp1251));
}

UnpackError UnpackError::notEnoughSpace(std::int64_t needed, std::int64_t available) {
    return failure(std::string("не хватает места на диске: нужно "_cp1251) + gigabytesText(needed) +
                   std::string(", свободно "_cp1251) + gigabytesText(available));
}

UnpackError UnpackError::cannotWrite(int error, const std::string& entry) {
    if (error == ENOSPC || error == EDQUOT) {
        return failure(fileSaveReason(error));
    }
    return failure(fileSaveReason(error) + std::string(": "_cp1251) + quoted(entry));
}

UnpackError UnpackError::cannotReadPart(std::size_t partNumber, int error) {
    return failure(std::string("не удаётся прочитать часть "_cp1251) + std::to_string(partNumber) +
                   std::string(": "_cp1251) + fileReadReason(error));
}

UnpackError UnpackError::damaged(std::size_t partNumber, std::size_t partCount, Damage damage,
                                 const std::string& entry) {
    std::string detail;
    switch (damage) {
    case Damage::Truncated:
        detail = "данные обрываются"_cp1251;
        break;
    case Damage::Checksum:
        detail = std::string("не сходится контрольная сумма "_cp1251) + quoted(entry);
        break;
    case Damage::Structure:
        detail = "нарушена структура архива"_cp1251;
        break;
    }
    if (partCount <= 1) {
        return failure(std::string("архив повреждён: "_cp1251) + detail);
    }
    return failure(std::string("часть "_cp1251) + std::to_string(partNumber) +
                   std::string(" повреждена: "_cp1251) + detail);
}

UnpackError UnpackError::notAnArchive() {
    return failure(std::string("формат архива не распознан"_cp1251));
}

UnpackError UnpackError::missingParts(const std::string& missingText) {
    return failure(missingText);
}

UnpackError UnpackError::unsupportedEncryption() {
    return UnpackError(Result::UnsupportedEncryption,
                       std::string("зашифрован способом, который Толвенка не открывает"_cp1251));
}

UnpackError UnpackError::needsPassword() {
    return UnpackError(Result::NeedsPassword, std::string("нужен пароль"_cp1251));
}

UnpackError UnpackError::unexpected() {
    return failure(std::string("непредвиденная ошибка при распаковке"_cp1251));
}

UnpackError UnpackError::cancelled() {
    return UnpackError(Result::Cancelled, std::string("распаковка отменена"_cp1251));
}

} // namespace tolvenka::archives
