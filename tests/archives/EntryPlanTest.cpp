#include "archives/EntryPlan.h"

#include "archives/UnpackError.h"
#include "support/Cp1251.h"

#include <gtest/gtest.h>

using tolvenka::archives::EntryHeader;
using tolvenka::archives::EntryPlan;
using tolvenka::archives::UnpackError;
using namespace kestrune::text::literals;

namespace {

EntryHeader entry(std::string name, std::string symlinkTarget = {}) {
    EntryHeader header;
    header.name = std::move(name);
    if (!symlinkTarget.empty()) {
        header.type = EntryHeader::Type::Symlink;
        header.symlinkTarget = std::move(symlinkTarget);
    }
    return header;
}

// The reason the set of entries is refused with, or "" when it is not.
std::string refusalOf(const std::vector<EntryHeader>& entries) {
    try {
        EntryPlan plan;
        for (const EntryHeader& header : entries) {
            plan.add(header);
        }
        plan.finish();
    } catch (const UnpackError& refusal) {
        return refusal.reason();
    }
    return {};
}

} // namespace

// A link is followed as the system would follow it, through the set's own
// links: what stays inside is kept, whatever the spelling.
TEST(EntryPlans, LinksAreFollowedThroughTheSetsOwnLinks) {
    const std::string_view leadsOut = "символическая ссылка «b» ведёт за пределы папки"_cp1251;
    const std::vector<std::pair<std::vector<EntryHeader>, std::string_view>> cases = {
        {{entry("a/f"), entry("b", "a/../a/f"), entry("x")}, ""},
        {{entry("a", "b"), entry("b", "a")}, ""}, // a loop reaches nowhere
        // One folder at the top goes into the target folder itself, maybe
        // under another name: its links may not leave it, not even to come
        // back.
        {{entry("d/e/f"), entry("d/b", "e/../e/f")}, ""},
        {{entry("d/e/f"), entry("d/b", "../d/e/f")},
         "символическая ссылка «d/b» ведёт за пределы папки"_cp1251},
        {{entry("c", "d/e"), entry("d/e/x"), entry("b", "c/../../..")}, leadsOut},
        {{entry("c", "."), entry("b", "c/../x")}, leadsOut},
        {{entry("b", "..")}, leadsOut},
        {{entry("b", "/")}, leadsOut},
    };
    for (const auto& [entries, reason] : cases) {
        EXPECT_EQ(refusalOf(entries), reason) << entries.back().symlinkTarget;
    }
}

TEST(EntryPlans, NamesAreTakenApartAndTheTopNamesAndFiguresKept) {
    EntryPlan plan;
    EntryHeader root = entry("./");
    root.type = EntryHeader::Type::Folder;
    plan.add(root);
    EntryHeader sized = entry("./top//dir/./file.bin");
    sized.declaredSize = 1000;
    sized.permissions = 06751;
    plan.add(sized);
    plan.add(entry("top/other.txt"));
    plan.finish();
    ASSERT_EQ(plan.entries().size(), 3u);
    EXPECT_EQ(plan.entries()[1].components, (std::vector<std::string>{"top", "dir", "file.bin"}));
    EXPECT_EQ(plan.entries()[1].permissions, 0751u);
    EXPECT_EQ(plan.topNames(), std::set<std::string>{"top"});
    EXPECT_EQ(plan.declaredBytes(), 1000);
    EXPECT_EQ(plan.fileCount(), 2);
}
