#include <gtest/gtest.h>

#include "detect/detect.h"
#include "fake_platform.h"

namespace {

class Detection : public ::testing::Test {
  protected:
    void SetUp() override { ResetMachine(); }

    static InstalledState Classify(const std::string& storedBytes) {
        machine.displayVersion = storedBytes;
        return ClassifyInstalledProduct();
    }
};

TEST_F(Detection, ReadsDisplayVersionOfTheProductEntry) {
    EXPECT_EQ(ClassifyInstalledProduct(), 0);
    ASSERT_EQ(machine.registryQueries.size(), 1u);
    EXPECT_EQ(machine.registryQueries[0],
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
              "{7D4E91A3-2C5B-4F86-B0E7-91A6C3D58F24}|DisplayVersion");
}

TEST_F(Detection, KnownReleasesWithTheirTerminator) {
    EXPECT_EQ(Classify(std::string("1.7.0.6\0", 8)), 1);
    EXPECT_EQ(Classify(std::string("1.7.0.7\0", 8)), 2);
    EXPECT_EQ(Classify(std::string("1.8.0.0\0", 8)), 3);
}

TEST_F(Detection, OnlyZeroBytesAreDroppedFromTheEnd) {
    EXPECT_EQ(Classify(std::string("1.8.0.0\0\0\0\0", 11)), 3);
    EXPECT_EQ(Classify("1.8.0.0"), 3); // stored without a terminator keeps its last character
    EXPECT_EQ(Classify("1.7.0.7"), 2);
    // An inner zero byte stays and takes part in the comparisons.
    EXPECT_EQ(Classify(std::string("1.8.0.0\0x", 9)), 4);
    EXPECT_EQ(Classify(std::string("1.8\0.0.0", 8)), -1);
    EXPECT_EQ(Classify(std::string("1.7.0.7\0x\0", 10)), -1);
}

TEST_F(Detection, NoUsableValueReadsAsNotInstalled) {
    EXPECT_EQ(Classify(""), 0);
    EXPECT_EQ(Classify(std::string(4, '\0')), 0);
    EXPECT_EQ(Classify(std::string(1025, '9')), 0); // larger than the buffer
    EXPECT_EQ(Classify(std::string(1024, '9')), 4); // exactly fits
    machine.displayVersion = std::string("1.8.0.0");
    machine.reportedSize = 0;
    EXPECT_EQ(ClassifyInstalledProduct(), 0);
    machine.reportedSize = 1025;
    EXPECT_EQ(ClassifyInstalledProduct(), 0);
}

TEST_F(Detection, UnknownReleasesCompareAsPlainText) {
    EXPECT_EQ(ClassifyRelease("1.8.0.1"), 4);
    EXPECT_EQ(ClassifyRelease("1.9"), 4);
    EXPECT_EQ(ClassifyRelease("2.0.0.0"), 4);
    EXPECT_EQ(ClassifyRelease("1.8.0.0.1"), 4);
    EXPECT_EQ(ClassifyRelease("beta1"), 4);
    EXPECT_EQ(ClassifyRelease("\xe9"), 4); // unsigned comparison
    EXPECT_EQ(ClassifyRelease("1.10.0.0"), -1);
    EXPECT_EQ(ClassifyRelease("1.7.0.8"), -1);
    EXPECT_EQ(ClassifyRelease("1.6"), -1);
    EXPECT_EQ(ClassifyRelease("1.8.0."), -1);
    EXPECT_EQ(ClassifyRelease(" 1.8.0.0"), -1);
}

} // namespace
