#include <gtest/gtest.h>

#include <ostream>

#include "fake_platform.h"
#include "trust/package.h"
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

AccessEntry Allow(Principal who, unsigned long mask) {
    return {true, false, mask, who, "S-1-5-32-545"};
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
        Row{"attributes of a package's folder", Principal::RunningUser,
            Allow(Principal::Other, 0x100), rights::kChangeFolder, false},
        Row{"attributes of a package's file", Principal::RunningUser,
            Allow(Principal::Other, 0x100), kChange, true},
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
            {true, true, 0x001F01FF, Principal::Other, ""},
            kChange,
            true},
        Row{"deny",
            Principal::System,
            {false, false, 0x001F01FF, Principal::Other, ""},
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

Security Everyone(unsigned long mask) {
    Security security = DefaultSecurity();
    security.entries.back().mask = mask;
    return security;
}

void Grant(const std::string& path, unsigned long mask) {
    machine.security[path] = Everyone(kReadAndRun | mask);
}

// The machine as a row leaves it, whom the judgement trusts, and the line the refusal adds (none:
// the package is accepted).
struct PackageRow {
    const char* what;
    void (*arrange)();
    const char* finding;
    bool runnerTrusted = true;
};

void PrintTo(const PackageRow& row, std::ostream* out) {
    *out << row.what;
}

class PackageTrust : public ::testing::TestWithParam<PackageRow> {
  protected:
    void SetUp() override {
        ResetMachine();
        AddFile("C:\\pkg\\Win7\\64\\drivers\\x.inf");
    }
};

TEST_P(PackageTrust, NamesTheFirstObjectOthersMayChangeAndWhy) {
    const PackageRow& row = GetParam();
    row.arrange();
    std::string finding;
    EXPECT_EQ(OthersMayChangePackage("C:\\pkg\\Win7\\64", row.runnerTrusted, finding),
              *row.finding != '\0');
    EXPECT_EQ(finding, row.finding);
}

constexpr char kDrivers[] = "C:\\pkg\\Win7\\64\\drivers";

INSTANTIATE_TEST_SUITE_P(
    WhatWhoAndWhy, PackageTrust,
    ::testing::Values(
        PackageRow{"untouched", [] {}, ""},
        // Users may add files to the folders above, but not to the setup's folder or below it.
        PackageRow{"folders above take files",
                   [] {
                       Grant("C:\\pkg", 0x6);
                       Grant("C:\\pkg\\Win7", 0x6);
                   },
                   ""},
        PackageRow{"setup's folder takes files", [] { Grant("C:\\pkg\\Win7\\64", 0x2); },
                   "C:\\pkg\\Win7\\64: S-1-5-32-545 (Users) may add files"},
        PackageRow{"setup written", [] { Grant("C:\\pkg\\Win7\\64\\setup.exe", 0x2); },
                   "C:\\pkg\\Win7\\64\\setup.exe: S-1-5-32-545 (Users) may change"},
        PackageRow{"a file deep down", [] { Grant("C:\\pkg\\Win7\\64\\drivers\\x.inf", 0x4); },
                   "C:\\pkg\\Win7\\64\\drivers\\x.inf: S-1-5-32-545 (Users) may change"},
        PackageRow{"Wine's others may write",
                   [] { machine.security["C:\\pkg"] = Everyone(0x001301FF); },
                   "C:\\pkg: S-1-5-32-545 (Users) may delete"},
        PackageRow{"folder above, its contents' deletion alone",
                   [] { Grant("C:\\pkg\\Win7", 0x40); },
                   "C:\\pkg\\Win7: S-1-5-32-545 (Users) may delete"},
        PackageRow{"every right named", [] { machine.security[kDrivers] = Everyone(0x001F01FF); },
                   "C:\\pkg\\Win7\\64\\drivers: S-1-5-32-545 (Users) may delete, change, add "
                   "files, rewrite the access list, take ownership"},
        PackageRow{"owned by another user",
                   [] { machine.otherUsersFiles.insert("C:\\pkg\\Win7\\64"); },
                   "C:\\pkg\\Win7\\64: owned by S-1-5-21-1-2-3-1002"},
        // An empty folder whose attributes someone may write can become a junction; a file not.
        PackageRow{"folder's attributes", [] { Grant(kDrivers, 0x100); },
                   "C:\\pkg\\Win7\\64\\drivers: S-1-5-32-545 (Users) may change"},
        PackageRow{"file's attributes", [] { Grant("C:\\pkg\\Win7\\64\\setup.exe", 0x100); }, ""},
        PackageRow{"list not read",
                   [] {
                       machine.security["C:\\pkg\\Win7\\64\\setup.exe"] = DefaultSecurity();
                       machine.security["C:\\pkg\\Win7\\64\\setup.exe"].listRead = false;
                   },
                   "C:\\pkg\\Win7\\64\\setup.exe: its access list cannot be read"},
        PackageRow{"no list",
                   [] {
                       machine.security["C:\\pkg\\Win7"] = Everyone(0);
                       machine.security["C:\\pkg\\Win7"].listPresent = false;
                   },
                   "C:\\pkg\\Win7: it has no access list, so anyone may change it"},
        PackageRow{"an entry nobody can read",
                   [] {
                       machine.security[kDrivers] = Everyone(0x2);
                       machine.security[kDrivers].entries.back().sid.clear();
                   },
                   "C:\\pkg\\Win7\\64\\drivers: an account that cannot be read may add files"},
        PackageRow{"a domain's users",
                   [] {
                       machine.security[kDrivers] = Everyone(0x2);
                       machine.security[kDrivers].entries.back().sid = "S-1-5-21-7-8-9-513";
                   },
                   "C:\\pkg\\Win7\\64\\drivers: S-1-5-21-7-8-9-513 (Domain Users) may add files"},
        PackageRow{"a folder that cannot be listed",
                   [] { machine.unlistedFolders.insert(kDrivers); },
                   "C:\\pkg\\Win7\\64\\drivers: cannot be listed"},
        // Only file systems known to keep no lists are passed over.
        PackageRow{"FAT32",
                   [] {
                       machine.fileSystems["C:\\"] = "FAT32";
                       machine.security["C:\\pkg"] = Everyone(0x001301FF);
                   },
                   ""},
        PackageRow{"exFAT",
                   [] {
                       machine.fileSystems["C:\\"] = "exFAT";
                       Grant("C:\\pkg\\Win7\\64\\setup.exe", 0x2);
                   },
                   ""},
        PackageRow{"another file system",
                   [] {
                       machine.fileSystems["C:\\"] = "ReFS";
                       Grant("C:\\pkg\\Win7\\64\\setup.exe", 0x2);
                   },
                   "C:\\pkg\\Win7\\64\\setup.exe: S-1-5-32-545 (Users) may change"},
        PackageRow{"a volume that cannot be asked", [] { machine.fileSystems["C:\\"] = ""; },
                   "C:\\: its file system cannot be asked"},
        // Links are judged themselves, where they lead, and the folders above that.
        PackageRow{"a link to a package's folder",
                   [] {
                       machine.folderLinks.insert("C:\\pkg\\Win7");
                       machine.linkTargets["C:\\pkg\\Win7"] = "D:\\x\\Win7";
                       AddFolder("D:\\x\\Win7");
                   },
                   ""},
        PackageRow{"under a folder others may replace",
                   [] {
                       machine.folderLinks.insert(kDrivers);
                       machine.linkTargets[kDrivers] = "D:\\x\\y";
                       AddFile("D:\\x\\y\\x.inf");
                       machine.security["D:\\x"] = Everyone(0x001301FF);
                   },
                   "D:\\x: S-1-5-32-545 (Users) may delete"},
        PackageRow{"where it leads, changeable",
                   [] {
                       machine.folderLinks.insert(kDrivers);
                       machine.linkTargets[kDrivers] = "D:\\x\\y";
                       AddFile("D:\\x\\y\\x.inf");
                       Grant("D:\\x\\y\\x.inf", 0x2);
                   },
                   "D:\\x\\y\\x.inf: S-1-5-32-545 (Users) may change"},
        PackageRow{"a file link",
                   [] {
                       machine.fileLinks.insert("C:\\pkg\\Win7\\64\\setup.exe");
                       machine.linkTargets["C:\\pkg\\Win7\\64\\setup.exe"] = "E:\\s.exe";
                       AddFile("E:\\s.exe");
                       machine.security["E:\\s.exe"] = Everyone(0x001301FF);
                   },
                   "E:\\s.exe: S-1-5-32-545 (Users) may delete, change"},
        PackageRow{"a link that leads to itself",
                   [] {
                       machine.folderLinks.insert(kDrivers);
                       machine.linkTargets[kDrivers] = kDrivers;
                   },
                   "C:\\pkg\\Win7\\64\\drivers: leads through too many links"},
        // Before a consent prompt that asks for another administrator, the runner is no one
        // trusted.
        PackageRow{"the runner's own, for another administrator", [] {},
                   "C:\\pkg: owned by S-1-5-21-1-2-3-1001", false},
        PackageRow{"the system's, for another administrator",
                   [] {
                       for (const char* path : {"C:\\pkg", "C:\\pkg\\Win7", "C:\\pkg\\Win7\\64",
                                                "C:\\pkg\\Win7\\64\\setup.exe", kDrivers,
                                                "C:\\pkg\\Win7\\64\\drivers\\x.inf"}) {
                           machine.systemOwned.insert(path);
                       }
                   },
                   "C:\\pkg: S-1-5-21-1-2-3-1001 may delete, rewrite the access list, take "
                   "ownership",
                   false}));

TEST(PackageTrustAt, AShareRootIsNoFolderOfThePackage) {
    ResetMachine();
    const std::string share = "\\\\server\\share\\pkg\\Win7\\64";
    std::string finding;
    AddFile(share + "\\setup.exe");
    EXPECT_FALSE(OthersMayChangePackage(share, true, finding));
    machine.security["\\\\server\\share\\pkg"] = Everyone(0x001301FF);
    EXPECT_TRUE(OthersMayChangePackage(share, true, finding));
    EXPECT_EQ(finding, "\\\\server\\share\\pkg: S-1-5-32-545 (Users) may delete");
}

TEST(PackageTrustAt, TreeTooLargeOrTooDeepIsRefused) {
    ResetMachine();
    std::string finding;
    std::string deep = "C:\\pkg\\Win7\\64";
    for (std::size_t depth = 1; depth < kDeepestPackageFolder; ++depth) {
        deep += "\\d";
    }
    AddFile(deep + "\\x.dll");
    EXPECT_FALSE(OthersMayChangePackage("C:\\pkg\\Win7\\64", true, finding)); // deepest listed
    AddFile(deep + "\\e\\x.dll");
    EXPECT_TRUE(OthersMayChangePackage("C:\\pkg\\Win7\\64", true, finding));
    EXPECT_EQ(finding, deep + "\\e: lies more than 16 folders deep, too deep to be judged");
    // The folder and setup.exe count: exactly the bound is judged, one more is not.
    ResetMachine();
    for (std::size_t i = 0; i + 2 < kMostPackageObjects; ++i) {
        AddFile("C:\\pkg\\Win7\\64\\f" + std::to_string(10000 + i));
    }
    EXPECT_FALSE(OthersMayChangePackage("C:\\pkg\\Win7\\64", true, finding));
    AddFile("C:\\pkg\\Win7\\64\\g");
    EXPECT_TRUE(OthersMayChangePackage("C:\\pkg\\Win7\\64", true, finding));
    EXPECT_EQ(finding, "C:\\pkg\\Win7\\64: holds more than 10000 objects, too many to be judged");
}

} // namespace
