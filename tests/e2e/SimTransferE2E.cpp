// The simulator's side of the file transfers, driven against a small terminal side written
// from the protocol's description: saves and loads on the serial line (plain and compressed)
// and over TCP/IP, the PC's error statuses, and the injected faults.
#include <gtest/gtest.h>

#include "e2e/SimProcess.h"
#include "e2e/SimTransferTerminal.h"

namespace tavrin::testing {
namespace {

enum class Medium { Serial, Tcp };
const char* Name(Medium m) {
    return m == Medium::Tcp ? "tcp" : "serial";
}

class SimLink {
public:
    SimLink(Medium medium, std::vector<std::string> extra)
        : tcp(medium == Medium::Tcp),
          sim(Args(tcp, std::move(extra))),
          wire(Open()),
          terminal(wire, pc, tcp) {
        banner = wire.ReadUntil("commands.\r\n>", 3000);
    }

    // A console command typed and answered (echo, output, prompt).
    std::string Command(const std::string& line) {
        wire.Write(line + (tcp ? "\r\n" : "\r"));
        return wire.ReadUntil("\r\n>", 5000);
    }
    // The controller's copy of a program, as "type" prints it.
    std::string Program(const std::string& name) {
        std::string text = Command("type " + name);
        const size_t start = text.find('\n') + 1;
        return text.substr(start, text.size() - start - 1);
    }
    std::string Transfer(const std::string& line, int timeoutMs = 20000) {
        return terminal.RunTransferCommand(line, timeoutMs);
    }

    bool tcp;
    SimProcess sim;
    SimWire wire;
    TestPc pc;
    TestTransferTerminal terminal;
    std::string banner;

private:
    static std::vector<std::string> Args(bool tcp, std::vector<std::string> extra) {
        std::vector<std::string> args =
            tcp ? std::vector<std::string>{"--tcp", "0"} : std::vector<std::string>{"--pty"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    SimWire Open() { return tcp ? SimWire::ConnectTcp(sim.TcpPort()) : SimWire::OpenPty(sim.PtyPath()); }
};

// A text of about the given size in CR LF lines, with Japanese (CP932) words and no '>'.
std::string SampleText(size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += "  point q" + std::to_string(i) + " = " + std::to_string(i * 37 % 1000) +
                ", \x92\x75\x82\xad\r\n";
    text.resize(size - 2);
    return text + "\r\n";
}

size_t Count(const std::vector<std::string>& requests, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& r : requests) n += r.rfind(prefix, 0) == 0;
    return n;
}

TEST(SimTransferTest, SavesProgramsToThePc) {
    struct Case {
        const char* line;
        const char* pcName;
        std::vector<const char*> programs;  // what the file holds, in order
    } cases[] = {
        {"save pick.as", "pick.as", {"pick.as"}},
        {"sa pallet.as", "pallet.as", {"pallet.as"}},
        // A name of 12 characters or more gets the long open reply; one not on the disk saves
        // every program under that name.
        {"vsave everything.as", "everything.as", {"pallet.as", "pick.as", "place.as"}},
        {"zbsave place.as,pick.as", "place.as", {"place.as"}},
        {"save /x pick.as", "pick.as", {"pick.as"}},
    };
    for (Medium medium : {Medium::Serial, Medium::Tcp}) {
        SimLink link(medium, {});
        ASSERT_TRUE(link.wire.IsOpen()) << Name(medium);
        for (const Case& c : cases) {
            std::string expected;
            for (const char* p : c.programs) expected += link.Program(p);
            link.pc.requests.clear();
            const std::string result = link.Transfer(c.line);
            const std::string where = std::string(Name(medium)) + " " + c.line;
            EXPECT_NE(result.find("Saved " + std::string(c.pcName) + ", " + std::to_string(expected.size()) +
                                  " bytes."),
                      std::string::npos)
                << where << ": " << result;
            EXPECT_EQ(link.pc.files[c.pcName], expected) << where;
            const auto& r = link.pc.requests;
            ASSERT_GE(r.size(), 3u) << where;
            EXPECT_EQ(r.front(), std::string("B ") + c.pcName) << where;
            EXPECT_EQ(r.back(), "E") << where;
            EXPECT_EQ(Count(r, "D "), (expected.size() + 511) / 512) << where << ": " << link.pc.Requests();
        }
        // The console carries on after the transfers.
        EXPECT_NE(link.Command("ver").find("1.0\r\n>"), std::string::npos);
    }
}

TEST(SimTransferTest, LoadsFilesFromThePc) {
    struct Case {
        const char* line;
        const char* name;
        size_t size;
        size_t serialReads;  // C requests: 128-byte blocks and one empty one
        size_t tcpReads;     // C requests: 512-byte blocks, then the end mark
    } cases[] = {
        {"load new.as", "new.as", 3000, 25, 7},
        {"lo exact.as", "exact.as", 1024, 9, 4},
        {"vload a_longer_name.as", "a_longer_name.as", 100, 2, 2},
        {"load empty.as", "empty.as", 0, 1, 2},
    };
    for (Medium medium : {Medium::Serial, Medium::Tcp}) {
        SimLink link(medium, {});
        for (const Case& c : cases) {
            const std::string text = c.size ? SampleText(c.size) : "";
            link.pc.files[c.name] = text;
            link.pc.requests.clear();
            const std::string where = std::string(Name(medium)) + " " + c.line;
            const std::string result = link.Transfer(c.line);
            EXPECT_NE(
                result.find("Loaded " + std::string(c.name) + ", " + std::to_string(c.size) + " bytes."),
                std::string::npos)
                << where << ": " << result;
            EXPECT_EQ(link.pc.requests.front(), std::string("A ") + c.name) << where;
            EXPECT_EQ(link.pc.requests.back(), "E") << where;
            EXPECT_EQ(Count(link.pc.requests, "C"), medium == Medium::Tcp ? c.tcpReads : c.serialReads)
                << where << ": " << link.pc.Requests();
            if (c.size) {
                EXPECT_EQ(link.Program(c.name), text) << where;
            }
        }
    }
}

TEST(SimTransferTest, CompressedSerialBlocksCarryTheWholeText) {
    SimLink link(Medium::Serial, {});
    const std::string pallet = link.Program("pallet.as");

    std::string result = link.Transfer("save/c pallet.as");
    EXPECT_NE(result.find("Saved pallet.as, " + std::to_string(pallet.size()) + " bytes (compressed)."),
              std::string::npos)
        << result;
    EXPECT_EQ(link.pc.files["pallet.as"], pallet);
    for (const std::string& r : link.pc.requests)
        if (r.rfind("D ", 0) == 0) {
            EXPECT_EQ(r.substr(r.size() - 2), " z") << r;
        }
    // The codes are far smaller than the text: fewer blocks than a plain save would need.
    EXPECT_LT(Count(link.pc.requests, "D "), pallet.size() / 512);

    const std::string text = SampleText(9000);
    link.pc.files["big.as"] = text;
    link.pc.requests.clear();
    result = link.Transfer("load big.as /c");
    EXPECT_NE(result.find("Loaded big.as, 9000 bytes (compressed)."), std::string::npos) << result;
    EXPECT_EQ(link.Program("big.as"), text);
    EXPECT_EQ(link.pc.requests[1], "C z");
}

TEST(SimTransferTest, CompressOptionAppliesToEverySerialTransfer) {
    SimLink link(Medium::Serial, {"--compress"});
    const std::string pick = link.Program("pick.as");
    const std::string result = link.Transfer("save pick.as");
    EXPECT_NE(result.find("(compressed)"), std::string::npos) << result;
    EXPECT_EQ(link.pc.files["pick.as"], pick);
    EXPECT_EQ(link.pc.requests[1].substr(link.pc.requests[1].size() - 2), " z") << link.pc.Requests();
}

TEST(SimTransferTest, ReportsThePcsErrorStatus) {
    for (Medium medium : {Medium::Serial, Medium::Tcp}) {
        SimLink link(medium, {});
        const std::string where = Name(medium);

        std::string result = link.Transfer("load missing.as");
        EXPECT_NE(result.find("(E6107) PC file error -1052."), std::string::npos) << where << result;
        EXPECT_EQ(link.pc.Requests(), "A missing.as") << where << ": a failed open needs no close";
        EXPECT_NE(link.Command("dir").find("3 programs"), std::string::npos) << "nothing stored";

        // A failing write ends the save, and the PC's file is still closed.
        link.pc.failWritesWith = -1072;
        link.pc.requests.clear();
        result = link.Transfer("save pallet.as");
        EXPECT_NE(result.find("(E6107) PC file error -1072."), std::string::npos) << where << result;
        EXPECT_EQ(link.pc.requests.back(), "E") << where << ": " << link.pc.Requests();
        link.pc.failWritesWith = 0;

        link.pc.files = {{"a.as", "x"}, {"b.as", "y"}};
        link.pc.requests.clear();
        result = link.Transfer("fdelete a.as b.as");
        EXPECT_NE(result.find("Deleted a.as on the PC.\r\nDeleted b.as on the PC."), std::string::npos)
            << where << result;
        EXPECT_TRUE(link.pc.files.empty());
        result = link.Transfer("fdel zz.as");
        EXPECT_NE(result.find("(E6107) PC file error -1052."), std::string::npos) << where << result;

        result = link.Transfer("save ../up.as");
        EXPECT_NE(result.find("(E6204) Bad file name"), std::string::npos) << where << result;
        result = link.Transfer("load");
        EXPECT_NE(result.find("(E6203) File name missing."), std::string::npos) << where << result;
    }
}

TEST(SimTransferTest, SerialFaultsAreRecoveredOrReported) {
    struct Case {
        const char* fault;
        const char* line;
        const char* result;  // expected in the console's result line
        int TestPc::*counter;
        const char* lastRequest;
    } cases[] = {
        {"bad-checksum", "save pallet.as", "Saved pallet.as", &TestPc::checksumNaks, "E"},
        {"bad-length", "save pallet.as", "Saved pallet.as", &TestPc::headerNaks, "E"},
        {"bad-length", "load new.as", "Loaded new.as", &TestPc::headerNaks, "E"},
        {"nak-reply-once", "save pallet.as", "Saved pallet.as", &TestPc::replyResends, "E"},
        {"nak-reply-twice", "save pallet.as", "(E6106) The PC gave up its reply.", &TestPc::gaveUp, "E"},
        {"nak-enq", "save pallet.as", "(E6104) Transfer aborted.", &TestPc::enqRefused, "E"},
        // Silence after the first block: the PC's reply ENQs go unanswered and nothing more
        // comes, not even the close.
        {"silence", "save pallet.as", "(E6104) Transfer aborted.", &TestPc::enqUnanswered, "D 512"},
    };
    for (const Case& c : cases) {
        SimLink link(Medium::Serial, {"--fault", c.fault});
        const std::string pallet = link.Program("pallet.as");
        link.pc.files["new.as"] = SampleText(2000);
        const std::string result = link.Transfer(c.line);
        const std::string where = std::string(c.fault) + " " + c.line;
        EXPECT_NE(result.find(c.result), std::string::npos) << where << ": " << result;
        EXPECT_EQ(link.pc.*c.counter, 1) << where << ": " << link.pc.Requests();
        EXPECT_EQ(link.pc.requests.back(), c.lastRequest) << where << ": " << link.pc.Requests();
        const std::string expectedResult = c.result;
        if (expectedResult.rfind("Saved", 0) == 0) {
            EXPECT_EQ(link.pc.files["pallet.as"], pallet) << where;
        } else if (expectedResult.rfind("Loaded", 0) == 0) {
            EXPECT_EQ(link.Program("new.as"), link.pc.files["new.as"]) << where;
        }

        // Once in every transfer: the next one meets the fault again, once.
        if (std::string(c.fault) == "silence") continue;  // 9 s a time
        link.pc.files["new.as"] = SampleText(2000);
        link.pc.*c.counter = 0;
        EXPECT_NE(link.Transfer(c.line).find(c.result), std::string::npos) << where << " again";
        EXPECT_EQ(link.pc.*c.counter, 1) << where << " again";
    }
}

TEST(SimTransferTest, ClosesTheConnectionHalfWayThroughATcpSave) {
    SimLink link(Medium::Tcp, {"--fault", "close-mid-save"});
    const std::string pallet = link.Program("pallet.as");
    link.Transfer("save pallet.as", 5000);
    EXPECT_TRUE(link.terminal.closed);
    const size_t blocks = (pallet.size() + 511) / 512;
    EXPECT_EQ(Count(link.pc.requests, "D "), blocks / 2) << link.pc.Requests();
    EXPECT_EQ(link.pc.files["pallet.as"], pallet.substr(0, blocks / 2 * 512));
    EXPECT_EQ(Count(link.pc.requests, "E"), 0u);
    // The simulator serves the next connection.
    SimWire next = SimWire::ConnectTcp(link.sim.TcpPort());
    EXPECT_NE(next.ReadUntil("commands.\r\n>", 3000).find("commands."), std::string::npos);
}

TEST(SimTransferTest, TcpSilenceLeavesTheSaveUnfinished) {
    SimLink link(Medium::Tcp, {"--fault", "silence"});
    const std::string result = link.Transfer("save pallet.as");
    EXPECT_NE(result.find("(E6104) Transfer aborted."), std::string::npos) << result;
    EXPECT_EQ(link.pc.Requests(), "B pallet.as, D 512");
}

TEST(SimTransferTest, SerialOnlyFaultsLeaveTcpTransfersAlone) {
    for (const char* fault : {"bad-checksum", "bad-length", "nak-reply-twice", "nak-enq"}) {
        SimLink link(Medium::Tcp, {"--fault", fault});
        const std::string pick = link.Program("pick.as");
        EXPECT_NE(link.Transfer("save pick.as").find("Saved pick.as"), std::string::npos) << fault;
        EXPECT_EQ(link.pc.files["pick.as"], pick) << fault;
    }
}

}  // namespace
}  // namespace tavrin::testing
