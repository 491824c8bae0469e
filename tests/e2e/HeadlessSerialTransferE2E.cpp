// Serial saves and loads end to end: tavrin --headless types the controller's transfer command,
// tavrin-sim drives the protocol over the pty, and the files on both sides are compared byte
// for byte, with and without compression, with the line faults the controller may meet.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessSerialSession.h"

namespace tavrin::testing {
namespace {

const std::string kPick = ".PROGRAM pick()\n  JMOVE #p1\n  CLAMP 1\n.END\n";

// About 20 KB of program text with a CP932 comment, so a save needs many write blocks and a load
// several of the PC's 4096-byte chunks.
std::string PalletProgram(int variant) {
    std::string text =
        ".PROGRAM pallet()\n  ; \x83\x70\x83\x8c\x83\x62\x83\x67 v" + std::to_string(variant) + "\n";
    for (int i = 0; text.size() < 20000; ++i)
        text += "  LMOVE SHIFT(base BY " + std::to_string(i % 7 * 50) + ", " + std::to_string(i / 7 * 40) +
                ", 0)\n  BREAK\n";
    return text + ".END\n";
}

// Every byte value, the protocol's control bytes among them: plain serial blocks are
// transparent.
std::string CalibrationData(int variant) {
    std::string bytes;
    for (int i = 0; i < 700; ++i) bytes += static_cast<char>((i * 7 + variant) % 256);
    return bytes;
}

struct ExactCase {
    const char* name;
    std::vector<std::string> simArgs;
    const char* word;  // with the switch, as typed
    std::string file;
    std::string (*content)(int variant);
    bool compressed;
};

std::string PickProgram(int variant) {
    return kPick + "; v" + std::to_string(variant) + "\n";
}

std::string Backup(const std::string& path) {
    const size_t dot = path.rfind('.');
    return path.substr(0, dot) + ".B" + path.substr(dot + 1, 2);
}

TEST(HeadlessSerialTransferE2E, SavesAndLoadsAreByteExactAndASecondSaveKeepsABackup) {
    const ExactCase cases[] = {
        {"small plain", {}, "save", "pick.as", PickProgram, false},
        {"small compressed by switch", {}, "save/c", "pick.as", PickProgram, true},
        {"large plain", {}, "save", "pallet.as", PalletProgram, false},
        {"large compressed by the controller", {"--compress"}, "save", "pallet.as", PalletProgram, true},
        {"control bytes plain", {}, "save", "calib.dat", CalibrationData, false},
    };
    for (const ExactCase& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessSerialSession s;
        WriteWholeFile(s.Disk() + "/" + c.file, c.content(1));
        ASSERT_TRUE(s.Start(c.simArgs)) << s.tavrin->Output();
        const std::string pcFile = s.Progs() + "/" + c.file;
        const std::string suffix = c.compressed ? " (compressed)." : ".";
        const std::string saved =
            "Saved " + c.file + ", " + std::to_string(c.content(1).size()) + " bytes" + suffix;

        ASSERT_TRUE(s.Command(std::string(c.word) + " " + pcFile, saved)) << s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(pcFile), c.content(1));

        // The controller's program changes; the second save keeps the first as the backup.
        WriteWholeFile(s.Disk() + "/" + c.file, c.content(2));
        const std::string savedAgain =
            "Saved " + c.file + ", " + std::to_string(c.content(2).size()) + " bytes" + suffix;
        ASSERT_TRUE(s.Command(std::string(c.word) + " " + pcFile, savedAgain)) << s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(pcFile), c.content(2));
        EXPECT_EQ(ReadWholeFile(Backup(pcFile)), c.content(1));

        // A file edited on the PC goes back to the controller unchanged.
        WriteWholeFile(pcFile, c.content(3));
        std::string loadWord = c.word;
        loadWord.replace(0, 4, "load");
        const std::string loaded =
            "Loaded " + c.file + ", " + std::to_string(c.content(3).size()) + " bytes" + suffix;
        ASSERT_TRUE(s.Command(loadWord + " " + pcFile, loaded)) << s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(s.Disk() + "/" + c.file), c.content(3));
        EXPECT_EQ(ReadWholeFile(pcFile), c.content(3)) << "a load only reads the PC's file";

        EXPECT_EQ(s.tavrin->Output().find("Communication error"), std::string::npos) << s.tavrin->Output();
        EXPECT_EQ(s.Finish(), 0) << s.tavrin->Errors();
    }
}

TEST(HeadlessSerialTransferE2E, AFileACompressedLoadWouldCutShortIsRefusedAndTheControllerKeepsItsOwn) {
    HeadlessSerialSession s;
    WriteWholeFile(s.Disk() + "/calib.dat", "kept");
    ASSERT_TRUE(s.Start()) << s.tavrin->Output();
    const std::string pcFile = s.Progs() + "/calib.dat";
    WriteWholeFile(pcFile, CalibrationData(0));  // holds NUL bytes
    ASSERT_TRUE(s.Command("load/c " + pcFile, "(E6107) PC file error -512.")) << s.tavrin->Output();
    EXPECT_NE(s.tavrin->Output().find("The file holds a NUL byte and cannot be loaded compressed: calib.dat"),
              std::string::npos)
        << s.tavrin->Output();
    EXPECT_EQ(ReadWholeFile(s.Disk() + "/calib.dat"), "kept");
    EXPECT_EQ(ReadWholeFile(pcFile), CalibrationData(0));
    EXPECT_EQ(s.Finish(), 0);
}

enum class After { Exact, SaveCutShort, LoadRefused };

struct FaultCase {
    const char* fault;
    bool save;
    const char* terminalText;  // printed by the terminal, or empty
    const char* controllerText;
    After after;
};

// One faulty transfer in a session of its own.
void RunFaultCase(const FaultCase& c) {
    SCOPED_TRACE(std::string(c.fault) + (c.save ? " save" : " load"));
    HeadlessSerialSession s;
    const std::string diskFile = s.Disk() + "/pallet.as";
    const std::string pcFile = s.Progs() + "/pallet.as";
    // Both sides hold a good copy of their own before the transfer.
    WriteWholeFile(diskFile, PalletProgram(1));
    WriteWholeFile(pcFile, PalletProgram(2));
    ASSERT_TRUE(s.Start({"--fault", c.fault})) << s.tavrin->Output();

    const size_t mark = s.tavrin->OutputMark();
    ASSERT_TRUE(s.Command((c.save ? "save " : "load ") + pcFile, c.controllerText, 15000))
        << s.OutputSince(mark);
    const std::string shown = s.OutputSince(mark);
    if (*c.terminalText) {
        EXPECT_NE(shown.find(c.terminalText), std::string::npos) << shown;
    } else {
        EXPECT_EQ(shown.find("Communication error"), std::string::npos) << shown;
    }

    switch (c.after) {
        case After::Exact:
            EXPECT_EQ(ReadWholeFile(c.save ? pcFile : diskFile),
                      c.save ? PalletProgram(1) : PalletProgram(2));
            break;
        case After::SaveCutShort: {
            // The save did not complete: the PC's earlier copy stays as it was, no backup is
            // made, nothing else is left in the folder, and the terminal says so.
            EXPECT_EQ(ReadWholeFile(pcFile), PalletProgram(2));
            EXPECT_FALSE(std::filesystem::exists(Backup(pcFile)));
            EXPECT_TRUE(
                s.tavrin->WaitForOutput("The save did not complete; not saved: " + pcFile, 3000, mark))
                << s.OutputSince(mark);
            size_t entries = 0;
            for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(s.Progs()))
                ++entries;
            EXPECT_EQ(entries, 1u);
            break;
        }
        case After::LoadRefused:
            EXPECT_EQ(ReadWholeFile(diskFile), PalletProgram(1));
            EXPECT_EQ(ReadWholeFile(pcFile), PalletProgram(2));
            break;
    }
    // The terminal is back at the console afterwards.
    ASSERT_TRUE(s.Command("ver", "Tavrin controller simulator 1.0", 5000)) << s.OutputSince(mark);
    EXPECT_EQ(s.Finish(), 0) << s.tavrin->Errors();
}

TEST(HeadlessSerialTransferE2E, LineFaultsAreRecoveredOrReportedAndNoGoodFileIsLost) {
    const FaultCase cases[] = {
        {"bad-checksum", true, "", "Saved pallet.as", After::Exact},
        {"bad-checksum", false, "", "Loaded pallet.as", After::Exact},
        {"bad-length", true, "", "Saved pallet.as", After::Exact},
        {"bad-length", false, "", "Loaded pallet.as", After::Exact},
        {"nak-reply-once", true, "", "Saved pallet.as", After::Exact},
        {"nak-reply-once", false, "", "Loaded pallet.as", After::Exact},
        {"bad-checksum-always", true, "(-507)Communication error(remorte terminal).",
         "(E6102) The PC refused the record.", After::SaveCutShort},
        {"nak-reply-twice", true, "(-506)Communication error(remorte terminal).",
         "(E6106) The PC gave up its reply.", After::SaveCutShort},
        {"nak-reply-twice", false, "(-506)Communication error(remorte terminal).",
         "(E6106) The PC gave up its reply.", After::LoadRefused},
        {"nak-enq", true, "(-514)Communication error(remorte terminal).", "(E6104) Transfer aborted.",
         After::SaveCutShort},
        {"nak-enq", false, "(-514)Communication error(remorte terminal).", "(E6104) Transfer aborted.",
         After::LoadRefused},
        {"silence", true, "(-508)Communication error(remorte terminal).", "(E6104) Transfer aborted.",
         After::SaveCutShort},
        {"silence", false, "(-508)Communication error(remorte terminal).", "(E6104) Transfer aborted.",
         After::LoadRefused},
    };
    // Each case waits out the line's time limits in its own processes; a few at a time keep the
    // suite short. The silent ones, the longest, go first.
    std::vector<const FaultCase*> queue;
    for (const FaultCase& c : cases)
        if (std::string(c.fault) == "silence") queue.push_back(&c);
    for (const FaultCase& c : cases)
        if (std::string(c.fault) != "silence") queue.push_back(&c);
    std::mutex mutex;
    size_t next = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (;;) {
                const FaultCase* c = nullptr;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (next == queue.size()) return;
                    c = queue[next++];
                }
                RunFaultCase(*c);
            }
        });
    for (std::thread& t : workers) t.join();
}

}  // namespace
}  // namespace tavrin::testing
