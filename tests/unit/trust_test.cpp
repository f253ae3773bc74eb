#include <gtest/gtest.h>

#include <ostream>

#include "fake_platform.h"
#include "trust/trust.h"

namespace {

using platform::AccessEntry;
using platform::Principal;
using platform::Security;

// An owner and one entry beside full control for SYSTEM.
struct Row {
    const char* what;
    Principal owner;
    AccessEntry entry;
    unsigned long rights;
    bool onlyTrusted;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

constexpr AccessEntry Allow(Principal who, unsigned long mask) {
    return {true, false, mask, who};
}

class AccessRule : public ::testing::TestWithParam<Row> {};

TEST_P(AccessRule, OnlyTheTrustedMayChangeWhatIsJudged) {
    const Row& row = GetParam();
    Security security;
    security.owner = row.owner;
    security.listRead = security.listPresent = true;
    security.entries = {Allow(Principal::System, 0x001F01FF), row.entry};
    EXPECT_EQ(OnlyTrustedMayChange(security, row.rights), row.onlyTrusted);
}

constexpr unsigned long kReadAndRun = 0x001200A9;
constexpr unsigned long kReplace = rights::kReplace;
constexpr unsigned long kChange = rights::kChange;

INSTANTIATE_TEST_SUITE_P(
    RightsPrincipalsAndEntries, AccessRule,
    ::testing::Values(
        // Each right that lets someone else replace or change the object.
        Row{"delete", Principal::RunningUser, Allow(Principal::Other, 0x00010000), kReplace, false},
        Row{"delete child", Principal::RunningUser, Allow(Principal::Other, 0x40), kReplace, false},
        Row{"write DAC", Principal::RunningUser, Allow(Principal::Other, 0x00040000), kReplace,
            false},
        Row{"write owner", Principal::RunningUser, Allow(Principal::Other, 0x00080000), kReplace,
            false},
        Row{"add file", Principal::RunningUser, Allow(Principal::Other, 0x2), kChange, false},
        Row{"add folder", Principal::RunningUser, Allow(Principal::Other, 0x4), kChange, false},
        Row{"write EA", Principal::RunningUser, Allow(Principal::Other, 0x10), kChange, false},
        Row{"attributes of a log", Principal::RunningUser, Allow(Principal::Other, 0x100),
            rights::kChangeLog, false},
        Row{"add file, folder above", Principal::RunningUser, Allow(Principal::Other, 0x2),
            kReplace, true},
        Row{"read and run", Principal::RunningUser, Allow(Principal::Other, kReadAndRun), kChange,
            true},
        // Generic rights as files map them.
        Row{"generic all", Principal::System, Allow(Principal::Other, 0x10000000), kReplace, false},
        Row{"generic write", Principal::System, Allow(Principal::Other, 0x40000000), kChange,
            false},
        Row{"generic read and execute", Principal::System, Allow(Principal::Other, 0xA0000000),
            kChange, true},
        // Whom the wrapper trusts.
        Row{"administrators", Principal::Administrators,
            Allow(Principal::Administrators, 0x001F01FF), kChange, true},
        Row{"TrustedInstaller", Principal::TrustedInstaller,
            Allow(Principal::TrustedInstaller, 0x001F01FF), kChange, true},
        Row{"domain admins", Principal::DomainAdmins,
            Allow(Principal::EnterpriseAdmins, 0x001F01FF), kChange, true},
        Row{"the runner", Principal::System, Allow(Principal::RunningUser, 0x001F01FF), kChange,
            true},
        Row{"unknown", Principal::System, Allow(Principal::Unknown, 0x2), kChange, false},
        Row{"creator owner, trusted owner", Principal::Administrators,
            Allow(Principal::CreatorOwner, 0x001F01FF), kChange, true},
        Row{"owner rights, untrusted owner", Principal::Other,
            Allow(Principal::OwnerRights, 0x001F01FF), kChange, false},
        // The owner may always rewrite the list.
        Row{"another user's", Principal::Other, Allow(Principal::System, 0x001F01FF), kChange,
            false},
        Row{"no owner", Principal::Unknown, Allow(Principal::System, 0x001F01FF), kChange, false},
        // Entries for what the object holds grant nothing on it; a deny is not credited.
        Row{"inherit-only",
            Principal::System,
            {true, true, 0x001F01FF, Principal::Other},
            kChange,
            true},
        Row{"deny",
            Principal::System,
            {false, false, 0x001F01FF, Principal::Other},
            kChange,
            true}));

TEST(AccessRule, PlaceholdersForTheOwnerAreTrustedOnlyAsTheOwnerIs) {
    EXPECT_TRUE(IsTrusted(Principal::CreatorOwner, Principal::RunningUser));
    EXPECT_FALSE(IsTrusted(Principal::CreatorOwner, Principal::Other));
    EXPECT_FALSE(IsTrusted(Principal::OwnerRights, Principal::OwnerRights));
}

TEST(AccessRule, NoListGrantsEveryoneEverythingAndAnUnreadOneTrustsNothing) {
    Security security;
    security.owner = Principal::System;
    security.listRead = true;
    EXPECT_FALSE(OnlyTrustedMayChange(security, rights::kReplace)); // no list at all
    security.listPresent = true;
    EXPECT_TRUE(OnlyTrustedMayChange(security, rights::kReplace)); // an empty one
    security.listRead = false;
    EXPECT_FALSE(OnlyTrustedMayChange(security, rights::kReplace));
}

class PackageTrust : public ::testing::Test {
  protected:
    void SetUp() override { ResetMachine(); }
    static bool Others() { return OthersMayChangePackage("C:\\pkg\\Win7\\64"); }
    static Security Everyone(unsigned long mask) {
        Security security = DefaultSecurity();
        security.entries.back().mask = mask;
        return security;
    }
};

TEST_F(PackageTrust, FoldersAboveMayNotBeReplacedAndTheSetupsFolderNotChanged) {
    EXPECT_FALSE(Others());
    // Users may add files to the folders above, but not to the setup's folder or below it.
    machine.security["C:\\pkg"] = Everyone(kReadAndRun | 0x6);
    machine.security["C:\\pkg\\Win7"] = Everyone(kReadAndRun | 0x6);
    EXPECT_FALSE(Others());
    for (const char* changeable : {"C:\\pkg\\Win7\\64", "C:\\pkg\\Win7\\64\\setup.exe",
                                   "C:\\pkg\\Win7\\64\\drivers\\x.inf"}) {
        AddFile("C:\\pkg\\Win7\\64\\drivers\\x.inf");
        machine.security[changeable] = Everyone(kReadAndRun | 0x2);
        EXPECT_TRUE(Others()) << changeable;
        machine.security.erase(changeable);
    }
    machine.security["C:\\pkg"] = Everyone(0x001301FF); // Wine's "others may write"
    EXPECT_TRUE(Others());
    // On a volume that keeps no access lists nothing can be judged.
    machine.volumesWithoutLists.insert("C:\\");
    EXPECT_FALSE(Others());
    // A share's root is no folder of the package: the share's own access list is judged below it.
    const std::string share = "\\\\server\\share\\pkg\\Win7\\64";
    AddFile(share + "\\setup.exe");
    EXPECT_FALSE(OthersMayChangePackage(share));
    machine.security["\\\\server\\share\\pkg"] = Everyone(0x001301FF);
    EXPECT_TRUE(OthersMayChangePackage(share));
}

TEST_F(PackageTrust, LinksAreJudgedAndWhereTheyLead) {
    machine.folderLinks.insert("C:\\pkg\\Win7");
    EXPECT_FALSE(Others());
    machine.linkTargets["C:\\pkg\\Win7"] = Everyone(0x001301FF);
    EXPECT_TRUE(Others());
    machine.linkTargets.clear();
    machine.fileLinks.insert("C:\\pkg\\Win7\\64\\setup.exe");
    machine.linkTargets["C:\\pkg\\Win7\\64\\setup.exe"] = Everyone(0x001301FF);
    EXPECT_TRUE(Others());
}

TEST_F(PackageTrust, TreeTooLargeOrTooDeepOrUnreadableIsRefused) {
    std::string deep = "C:\\pkg\\Win7\\64";
    for (std::size_t depth = 1; depth < kDeepestPackageFolder; ++depth) {
        deep += "\\d";
    }
    AddFile(deep + "\\x.dll");
    EXPECT_FALSE(Others()); // the deepest folder that is listed, holding a file
    AddFile(deep + "\\e\\x.dll");
    EXPECT_TRUE(Others());
    ResetMachine();
    for (std::size_t i = 0; i < kMostPackageObjects; ++i) {
        AddFile("C:\\pkg\\Win7\\64\\f" + std::to_string(i));
    }
    EXPECT_TRUE(Others()); // the folder, setup.exe and these: one too many
    ResetMachine();
    machine.security["C:\\pkg\\Win7\\64\\setup.exe"].listRead = false;
    EXPECT_TRUE(Others());
}

} // namespace
