#include "app/OwnFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "app/IniFile.h"
#include "app/SettingsLocation.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

constexpr uid_t kNobody = 65534;  // the uid of "nobody" on Debian

// What a case leaves in the folder under the name "f.ini", whether it needs root (to hand a
// file or link to another user), and the verdict.
struct FileCase {
    const char* name;
    std::function<void(const CTempFolder&)> make;
    bool needsRoot;
    OwnFileFault expected;
};

const std::string kSettingsText = "[Settings]\r\nTimeoutSec=33\r\n";

void MakeFile(const CTempFolder& tmp, const std::string& name, const std::string& text) {
    tmp.Write(name, text);
}

const std::vector<FileCase>& FileCases() {
    static const std::vector<FileCase> setups = {
        {"a regular file of the user", [](const CTempFolder& t) { MakeFile(t, "f.ini", kSettingsText); },
         false, OwnFileFault::kNone},
        {"the user's own link to the user's file",
         [](const CTempFolder& t) {
             MakeFile(t, "real.ini", kSettingsText);
             ASSERT_EQ(symlink("real.ini", t.File("f.ini").c_str()), 0);
         },
         false, OwnFileFault::kNone},
        {"nothing there", [](const CTempFolder&) {}, false, OwnFileFault::kMissing},
        {"a FIFO", [](const CTempFolder& t) { ASSERT_EQ(mkfifo(t.File("f.ini").c_str(), 0600), 0); }, false,
         OwnFileFault::kNotRegular},
        {"a link to a FIFO",
         [](const CTempFolder& t) {
             ASSERT_EQ(mkfifo(t.File("pipe").c_str(), 0600), 0);
             ASSERT_EQ(symlink("pipe", t.File("f.ini").c_str()), 0);
         },
         false, OwnFileFault::kNotRegular},
        {"a folder", [](const CTempFolder& t) { ASSERT_EQ(mkdir(t.File("f.ini").c_str(), 0700), 0); }, false,
         OwnFileFault::kNotRegular},
        {"a device",
         [](const CTempFolder& t) {
             // A node of its own (the null device's numbers): a write that went wrong would
             // replace this one, never the system's.
             ASSERT_EQ(mknod(t.File("f.ini").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
         },
         true, OwnFileFault::kNotRegular},
        {"exactly 1 MiB",
         [](const CTempFolder& t) { MakeFile(t, "f.ini", std::string(kMaxSettingsFileBytes, 'x')); }, false,
         OwnFileFault::kNone},
        {"one byte over 1 MiB",
         [](const CTempFolder& t) { MakeFile(t, "f.ini", std::string(kMaxSettingsFileBytes + 1, 'x')); },
         false, OwnFileFault::kTooLarge},
        {"100 MB, sparse",
         [](const CTempFolder& t) {
             MakeFile(t, "f.ini", "");
             ASSERT_EQ(truncate(t.File("f.ini").c_str(), off_t{100} << 20), 0);
         },
         false, OwnFileFault::kTooLarge},
        {"a NUL byte",
         [](const CTempFolder& t) { MakeFile(t, "f.ini", kSettingsText + std::string(1, '\0') + "x"); },
         false, OwnFileFault::kHoldsNul},
        {"another user's file",
         [](const CTempFolder& t) {
             MakeFile(t, "f.ini", kSettingsText);
             ASSERT_EQ(chown(t.File("f.ini").c_str(), kNobody, kNobody), 0);
         },
         true, OwnFileFault::kOtherOwner},
        {"another user's link to a root-only file",
         [](const CTempFolder& t) {
             MakeFile(t, "secret", kSettingsText);
             ASSERT_EQ(chmod(t.File("secret").c_str(), 0600), 0);
             ASSERT_EQ(symlink(t.File("secret").c_str(), t.File("f.ini").c_str()), 0);
             ASSERT_EQ(lchown(t.File("f.ini").c_str(), kNobody, kNobody), 0);
         },
         true, OwnFileFault::kOtherLink},
        {"the user's link to another user's link",
         [](const CTempFolder& t) {
             MakeFile(t, "secret", kSettingsText);
             ASSERT_EQ(symlink("secret", t.File("planted").c_str()), 0);
             ASSERT_EQ(lchown(t.File("planted").c_str(), kNobody, kNobody), 0);
             ASSERT_EQ(symlink("planted", t.File("f.ini").c_str()), 0);
         },
         true, OwnFileFault::kOtherLink},
    };
    return setups;
}

bool SkipForUid(const FileCase& s) {
    return s.needsRoot && geteuid() != 0;
}

TEST(OwnFileTest, EachRuleDecidesTheVerdictQuickly) {
    int skipped = 0;
    for (const FileCase& s : FileCases()) {
        SCOPED_TRACE(s.name);
        if (SkipForUid(s)) {
            ++skipped;
            continue;
        }
        CTempFolder tmp;
        s.make(tmp);
        const auto start = std::chrono::steady_clock::now();
        std::string contents;
        const OwnFileCheck check = ReadOwnFile(tmp.File("f.ini"), kIniFileRules, contents);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(check.fault, s.expected) << check.Reason();
        if (check.Usable()) {
            EXPECT_FALSE(contents.empty());
        } else {
            EXPECT_EQ(contents, "");
            EXPECT_FALSE(check.Reason(1).empty());
            EXPECT_FALSE(check.Reason(0).empty());
        }
        EXPECT_EQ(CheckOwnFile(tmp.File("f.ini"), kIniFileRules).fault, s.expected);
    }
    if (skipped > 0) GTEST_SKIP() << skipped << " cases need root to hand files to another user (uid 65534)";
}

// A refused file is never replaced by a settings write, and the write says so.
TEST(OwnFileTest, ARefusedFileIsNeverRewritten) {
    int skipped = 0;
    for (const FileCase& s : FileCases()) {
        if (s.expected == OwnFileFault::kNone || s.expected == OwnFileFault::kMissing) continue;
        SCOPED_TRACE(s.name);
        if (SkipForUid(s)) {
            ++skipped;
            continue;
        }
        CTempFolder tmp;
        s.make(tmp);
        struct stat before {};
        ASSERT_EQ(lstat(tmp.File("f.ini").c_str(), &before), 0);
        std::string secretBefore = tmp.Read("secret");
        std::string ignored;
        TakeProfileWriteError(ignored);

        EXPECT_FALSE(WriteProfileString(tmp.File("f.ini"), "Settings", "TimeoutSec", "1"));
        std::string path;
        EXPECT_NE(TakeProfileWriteError(path), 0);
        EXPECT_EQ(path, tmp.File("f.ini"));

        struct stat after {};
        ASSERT_EQ(lstat(tmp.File("f.ini").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
        EXPECT_EQ(after.st_mtime, before.st_mtime);
        EXPECT_EQ(tmp.Read("secret"), secretBefore) << "written through the link";
        EXPECT_EQ(ReadProfileString(tmp.File("f.ini"), "Settings", "TimeoutSec", "none"), "none");
    }
    if (skipped > 0) GTEST_SKIP() << skipped << " cases need root to hand files to another user (uid 65534)";
}

TEST(OwnFileTest, MacroRulesAllowNulAndLargerFilesButNotAFifo) {
    CTempFolder tmp;
    tmp.Write("nul.uas", std::string("sendln 'a'\n\0\n", 13));
    tmp.Write("big.uas", std::string(kMaxSettingsFileBytes + 10, '\n'));
    ASSERT_EQ(mkfifo(tmp.File("pipe.uas").c_str(), 0600), 0);
    EXPECT_TRUE(CheckOwnFile(tmp.File("nul.uas"), kMacroFileRules).Usable());
    EXPECT_TRUE(CheckOwnFile(tmp.File("big.uas"), kMacroFileRules).Usable());
    EXPECT_EQ(CheckOwnFile(tmp.File("pipe.uas"), kMacroFileRules).fault, OwnFileFault::kNotRegular);
    OwnFileCheck check;
    EXPECT_EQ(OpenOwnFile(tmp.File("pipe.uas"), kMacroFileRules, check), -1);
}

TEST(OwnFileTest, ReasonsNameWhatIsWrong) {
    CTempFolder tmp;
    ASSERT_EQ(mkfifo(tmp.File("p.ini").c_str(), 0600), 0);
    const OwnFileCheck fifo = CheckOwnFile(tmp.File("p.ini"), kIniFileRules);
    EXPECT_EQ(
        RefusedFileText(tmp.File("p.ini"), fifo, 1),
        "The file " + tmp.File("p.ini") + " cannot be used: it is a FIFO (named pipe), not a regular file.");
    OwnFileCheck large;
    large.fault = OwnFileFault::kTooLarge;
    large.limit = kMaxSettingsFileBytes;
    EXPECT_EQ(large.Reason(1), "it is larger than 1 MiB");
    OwnFileCheck link;
    link.fault = OwnFileFault::kOtherLink;
    link.owner = kNobody;
    EXPECT_EQ(link.Reason(1), "it is a symbolic link made by another user (uid 65534)");
}

// The working folder's tavrin.ini is passed over when it may not be trusted.
TEST(OwnFileTest, AnUntrustedWorkingFolderFileIsPassedOverForTheUsersFolder) {
    int skipped = 0;
    for (const FileCase& s : FileCases()) {
        SCOPED_TRACE(s.name);
        if (SkipForUid(s)) {
            ++skipped;
            continue;
        }
        CTempFolder tmp;
        s.make(tmp);
        if (s.expected != OwnFileFault::kMissing) {
            ASSERT_EQ(rename(tmp.File("f.ini").c_str(), tmp.File("tavrin.ini").c_str()), 0);
        }
        const SettingsFileChoice choice = ChooseSettingsFile(tmp.Path(), "tavrin", {tmp.File("xdg"), ""});
        if (s.expected == OwnFileFault::kNone) {
            EXPECT_EQ(choice.path, tmp.File("tavrin.ini"));
            EXPECT_EQ(PassedOverLine(choice), "");
        } else if (s.expected == OwnFileFault::kMissing) {
            EXPECT_EQ(choice.path, tmp.File("xdg/tavrin/tavrin.ini"));
            EXPECT_EQ(PassedOverLine(choice), "");
        } else {
            EXPECT_EQ(choice.path, tmp.File("xdg/tavrin/tavrin.ini"));
            EXPECT_EQ(PassedOverLine(choice), "ignoring " + tmp.File("tavrin.ini") + ": " +
                                                  choice.check.Reason() + "; the settings file is " +
                                                  tmp.File("xdg/tavrin/tavrin.ini") + ".");
            // Named as the settings file outright ("-F"), it stops the start.
            EXPECT_EQ(SettingsFileRefusal(tmp.File("tavrin.ini")),
                      "the settings file " + tmp.File("tavrin.ini") +
                          " cannot be used: " + choice.check.Reason() + ".");
        }
    }
    if (skipped > 0) GTEST_SKIP() << skipped << " cases need root to hand files to another user (uid 65534)";
}

}  // namespace
}  // namespace tavrin
