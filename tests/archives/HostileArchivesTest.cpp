#include "support/Cp1251.h"
#include "tests/archives/ArchiveFixture.h"

#include <filesystem>
#include <fstream>

using archives_testing::ArchiveFixture;
using archives_testing::noise;
using rarvolumes::RarEntry;
using rarvolumes::RarVersion;
using tolvenka::archives::UnpackOutcome;
using namespace kestrune::text::literals;
using Result = UnpackOutcome::Result;

namespace {

namespace fs = std::filesystem;

RarEntry fileEntry(std::string name, std::string content) {
    RarEntry entry;
    entry.name = std::move(name);
    entry.content = std::move(content);
    return entry;
}

RarEntry linkEntry(std::string name, std::string target,
                   RarEntry::Kind kind = RarEntry::Kind::Symlink) {
    RarEntry entry;
    entry.name = std::move(name);
    entry.kind = kind;
    entry.linkTarget = std::move(target);
    return entry;
}

RarEntry specialEntry(std::string name, RarEntry::Kind kind) {
    RarEntry entry;
    entry.name = std::move(name);
    entry.kind = kind;
    return entry;
}

void flipByte(const std::string& path, std::uint64_t offset) {
    std::fstream stream(kestrune::text::toUtf8(path),
                        std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(stream.get() ^ 0x5A);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put(byte);
}

void cutInHalf(const std::string& path) {
    const std::string onDisk = kestrune::text::toUtf8(path);
    fs::resize_file(onDisk, fs::file_size(onDisk) / 2);
}

class HostileArchives : public ArchiveFixture {
public:
    std::vector<std::string> rar5(const std::string& base, std::vector<RarEntry> entries,
                                  std::uint64_t volumeSize = 0) {
        return makeRar(base, entries, {RarVersion::Rar5, volumeSize, false, 0});
    }
    std::vector<std::string> rar4(const std::string& base, std::vector<RarEntry> entries) {
        return makeRar(base, entries, {RarVersion::Rar4, 0, false, 0});
    }
};

struct Hostile {
    const char* what;
    std::function<std::vector<std::string>(HostileArchives&)> make;
    Result result;
    // The reason the user reads, whole or (for figures of this machine)
    // its beginning.
    std::string_view reason;
    std::vector<std::string> passwords = {};
};

} // namespace

// Each set below is refused, or stops, with its reason; the target folder
// is left empty and every part stays where it was.
TEST_F(HostileArchives, AreRefusedWithTheirReasonAndLeaveNothingBehind) {
    const std::string wholeFile = noise(700'000, 11);
    const std::vector<Hostile> cases = {
        {"an absolute path",
         [](auto& t) {
             return t.rar5("abs", {fileEntry("ok.txt", "ok"), fileEntry("/tmp/evil.txt", "x")});
         },
         Result::Failed, "запись «/tmp/evil.txt» с абсолютным путём"_cp1251},
        {"a path that climbs out",
         [](auto& t) {
             return t.rar4("dots",
                           {fileEntry("docs/a.txt", "a"), fileEntry("docs/../../evil.txt", "x")});
         },
         Result::Failed, "запись «docs/../../evil.txt» ведёт за пределы папки"_cp1251},
        {"a symbolic link that leads out",
         [](auto& t) { return t.rar5("up", {linkEntry("etc", "../../etc")}); }, Result::Failed,
         "символическая ссылка «etc» ведёт за пределы папки"_cp1251},
        {"a link that leads out through another link",
         [](auto& t) {
             return t.rar5("hops", {linkEntry("here", "."), linkEntry("away", "here/../escape")});
         },
         Result::Failed, "символическая ссылка «away» ведёт за пределы папки"_cp1251},
        {"a link that leaves the one folder at the top",
         [](auto& t) {
             return t.rar5("top",
                           {fileEntry("top/a.txt", "a"), linkEntry("top/l", "../notes.txt")});
         },
         Result::Failed, "символическая ссылка «top/l» ведёт за пределы папки"_cp1251},
        {"a lone link at the top",
         [](auto& t) { return t.rar4("lonelink", {linkEntry("l", "notes.txt")}); }, Result::Failed,
         "символическая ссылка «l» ведёт за пределы папки"_cp1251},
        {"an absolute symbolic link",
         [](auto& t) { return t.rar4("abslink", {linkEntry("passwd", "/etc/passwd")}); },
         Result::Failed, "символическая ссылка «passwd» ведёт за пределы папки"_cp1251},
        {"an entry written through a link",
         [](auto& t) {
             return t.rar5("through", {linkEntry("sub", "inside"), fileEntry("sub/file.txt", "x")});
         },
         Result::Failed, "запись «sub/file.txt» проходит через символическую ссылку"_cp1251},
        {"a hard link to a file outside",
         [](auto& t) {
             return t.rar5("hard", {linkEntry("h", "../secret", RarEntry::Kind::HardLink)});
         },
         Result::Failed, "жёсткая ссылка «h» ведёт на файл вне набора"_cp1251},
        {"a hard link to a file the set lacks",
         [](auto& t) {
             return t.rar5("ghost", {linkEntry("h", "ghost.txt", RarEntry::Kind::HardLink)});
         },
         Result::Failed, "жёсткая ссылка «h» ведёт на файл вне набора"_cp1251},
        {"a device",
         [](auto& t) {
             return t.rar5("dev", {specialEntry("console", RarEntry::Kind::CharDevice)});
         },
         Result::Failed, "запись «console» — устройство"_cp1251},
        {"a named pipe",
         [](auto& t) { return t.rar4("fifo", {specialEntry("queue", RarEntry::Kind::Fifo)}); },
         Result::Failed, "запись «queue» — именованный канал"_cp1251},
        {"a declared size larger than the disk",
         [](auto& t) {
             RarEntry huge = fileEntry("huge.bin", "tiny");
             huge.declaredSize = std::uint64_t{1} << 40;
             return t.rar5("huge", {huge});
         },
         Result::Failed, "не хватает места на диске: нужно 1024,0 ГБ, свободно "_cp1251},
        {"an entry that outgrows its declared size",
         [](auto& t) {
             RarEntry grows = fileEntry("small.txt", "more than it declares");
             grows.declaredSize = 3;
             return t.rar4("grows", {grows});
         },
         Result::Failed, "запись «small.txt» больше заявленного размера"_cp1251},
        {"a wrong checksum",
         [](auto& t) {
             RarEntry wrong = fileEntry("x.txt", "checksum");
             wrong.wrongChecksum = true;
             return t.rar4("crc", {wrong});
         },
         Result::Failed, "архив повреждён: не сходится контрольная сумма «x.txt»"_cp1251},
        {"a damaged byte in the second part",
         [&](auto& t) {
             auto parts = t.rar5("damaged", {fileEntry("a.bin", wholeFile)}, 300'000);
             flipByte(parts[1], 150'000);
             return parts;
         },
         Result::Failed, "часть 2 повреждена: не сходится контрольная сумма «a.bin»"_cp1251},
        {"a cut last part of RAR volumes",
         [&](auto& t) {
             auto parts = t.rar5("cut", {fileEntry("a.bin", wholeFile)}, 300'000);
             cutInHalf(parts.back());
             return parts;
         },
         Result::Failed, "часть 3 повреждена: данные обрываются"_cp1251},
        {"a cut last 7-Zip volume",
         [&](auto& t) {
             auto parts = t.make7zz("cut.7z", {{"a.bin", wholeFile}}, {"-v300k", "-mx0"});
             cutInHalf(parts.back());
             return parts;
         },
         Result::Failed, "часть 3 повреждена: "_cp1251},
        {"a damaged stored zip",
         [&](auto& t) {
             auto parts = t.make7zz("damaged.zip", {{"f.bin", wholeFile}}, {"-tzip", "-mx0"});
             flipByte(parts[0], 100'000);
             return parts;
         },
         Result::Failed, "архив повреждён: не сходится контрольная сумма «f.bin»"_cp1251},
        {"a missing part",
         [&](auto& t) {
             auto parts = t.rar5("gap", {fileEntry("a.bin", wholeFile)}, 300'000);
             fs::remove(kestrune::text::toUtf8(parts[1]));
             parts.erase(parts.begin() + 1);
             return parts;
         },
         Result::Failed, "нет части 2"_cp1251},
        {"a file that is no archive",
         [](auto& t) {
             testing_helpers::writeFile(t.partsFolder() + "/fake.zip", "just text, no archive");
             return std::vector<std::string>{t.partsFolder() + "/fake.zip"};
         },
         Result::Failed, "формат архива не распознан"_cp1251},
        {"a zip with a wrong password",
         [](auto& t) {
             return t.make7zz("locked.zip", {{"f.txt", "secret text"}}, {"-tzip", "-psecret"});
         },
         Result::NeedsPassword,
         "нужен пароль"_cp1251,
         {"wrong", "also wrong"}},
        {"7-Zip encryption",
         [](auto& t) {
             return t.make7zz("locked.7z", {{"f.txt", "secret"}}, {"-psecret"});
         },
         Result::UnsupportedEncryption,
         "зашифрован способом, который Толвенка не открывает"_cp1251,
         {"secret"}},
        {"7-Zip encryption of the names too",
         [](auto& t) {
             return t.make7zz("hidden.7z", {{"f.txt", "secret"}}, {"-psecret", "-mhe=on"});
         },
         Result::UnsupportedEncryption,
         "зашифрован способом, который Толвенка не открывает"_cp1251,
         {"secret"}},
        {"RAR 5 encryption",
         [](auto& t) {
             RarEntry locked = fileEntry("f.txt", "secret");
             locked.encrypted = true;
             return t.rar5("locked5", {fileEntry("open.txt", "x"), locked});
         },
         Result::UnsupportedEncryption,
         "зашифрован способом, который Толвенка не открывает"_cp1251},
        {"RAR 4 encryption",
         [](auto& t) {
             RarEntry locked = fileEntry("f.txt", "secret");
             locked.encrypted = true;
             return t.rar4("locked4", {locked});
         },
         Result::UnsupportedEncryption,
         "зашифрован способом, который Толвенка не открывает"_cp1251},
    };
    for (const Hostile& hostile : cases) {
        SCOPED_TRACE(hostile.what);
        const std::vector<std::string> parts = hostile.make(*this);
        const UnpackOutcome outcome = unpack(parts, hostile.passwords);
        EXPECT_EQ(outcome.result, hostile.result);
        EXPECT_TRUE(outcome.reason.starts_with(hostile.reason))
            << kestrune::text::toUtf8(outcome.reason);
        EXPECT_EQ(outcome.placedAt, "");
        EXPECT_EQ(outcome.passwordIndex, -1);
        if (fs::exists(target())) {
            EXPECT_EQ(namesIn(target()), std::vector<std::string>{});
        }
        for (const std::string& part : parts) {
            EXPECT_TRUE(fs::exists(kestrune::text::toUtf8(part))) << part;
        }
        fs::remove_all(partsFolder());
        fs::create_directories(partsFolder());
        fs::remove_all(target());
    }
}
