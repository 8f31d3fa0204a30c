// The program operations against a scripted controller on a pseudo-terminal:
// each frame the PC sends is answered by the next reply of the script, so
// the exchanges are checked byte for byte.
#include <filesystem>
#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "link/comm.h"
#include "link/link.h"
#include "nc/ncfile.h"
#include "nc/ncops.h"
#include "nc/nctexts.h"
#include "support/linkrig.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
const std::string kNak = "\x15\x07\x07\r\n";
const std::string kAck = "\x06\x07\x01\r\n";
const std::string kAtt = "$%\r\n";
constexpr const char* kSilent = "";  // the controller stays silent

// Replies in order, one per frame received; silence once they run out.
class Script {
 public:
  explicit Script(std::deque<std::string> replies) : replies_(std::move(replies)) {}
  std::string operator()(const std::string&) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (replies_.empty()) return {};
    std::string reply = replies_.front();
    replies_.pop_front();
    return reply;
  }

 private:
  std::mutex mutex_;
  std::deque<std::string> replies_;
};

struct Rig : test::LinkRig {
  explicit Rig(std::deque<std::string> replies)
      : script(std::make_shared<Script>(std::move(replies))),
        peer([s = script](const std::string& frame) { return (*s)(frame); }),
        ops(operationParts(link), page) {
    peer.linkAs(dir, "COM2");
    // Silences end quickly; the pauses of the fake clock cost nothing.
    session.settings.timeoutMs = 150;
  }
  ~Rig() { port.Close(); }  // before the peer goes
  const Lines& messages() const { return lines(); }

  std::shared_ptr<Script> script;
  test::PtyPeer peer;
  MemoryNcPage page;
  NcOperations ops;
};

TEST(SendProgram, GenerationX00SendsNoNameAndAttentionGivesNoName) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n", kAtt, kAtt, "OK\r\n", "OK\r\n", "X\r\n", kAtt, "OK\r\n", "OK\r\n", "OK\r\n"});
  rig.page.gen = kGenerationX00;
  rig.page.name = "TYPED";
  rig.page.lines = {"G01 X5"};
  ASSERT_TRUE(rig.ops.send());
  // The existing program's name came back as the attention frame: the
  // controller named none, so the question and the deletion carry none
  // (never a name left from another program); "X" is no "$V".
  EXPECT_EQ(rig.host.questions[1], "#130\n\n#14:01\n#15:");
  EXPECT_EQ(rig.peer.frames(), (Lines{"$%\r\n", "$L\r\n", "01\r\n", kAck, "$%\r\n", "$K\r\n", "01\r\n",
                                      "        \r\n", "$%\r\n", "$S\r\n", "01\r\n", "N1 G01 X5\r\n"}));
  EXPECT_TRUE(rig.host.hasLine(kProgramPage, "#129"));
}

TEST(SendProgram, RefusedBeforeAnythingIsSent) {
  // Empty editor.
  Rig rig({});
  EXPECT_FALSE(rig.ops.send());
  EXPECT_EQ(rig.messages(), (Lines{"#121"}));
  EXPECT_EQ(rig.host.beeps, 1);
  // Cancel at the first question touches no port.
  rig.page.lines = {"G00"};
  rig.host.answers = {false};
  EXPECT_FALSE(rig.ops.send());
  // A line that does not fit the controller's 256-byte frame: named, nothing sent.
  rig.page.lines = {"G00", std::string(251, 'X')};
  EXPECT_FALSE(rig.ops.send());
  EXPECT_TRUE(rig.peer.frames().empty());
  EXPECT_EQ(rig.messages().back().rfind("第 2 行", 0), 0u) << rig.messages().back();
  EXPECT_EQ(rig.host.questions.size(), 1u);
  // The largest line that fits: "N2 " + 250 bytes + CR LF + NUL = 256.
  EXPECT_EQ(NcOperations::firstOversizedLine({"G00", std::string(250, 'X')}), -1);
  EXPECT_EQ(NcOperations::firstOversizedLine({"G00", std::string(251, 'X')}), 1);
}

TEST(ReceiveProgram, LongLineArrivesInTwoRepliesAndIsJoined) {
  const std::string text = "G01 " + std::string(100, 'X');
  const std::string line = "N1 " + text + "\r\n";
  // The controller sends the whole line at once; the PC reads it as a
  // 75-byte reply and its continuation, and acknowledges each of them.
  Rig rig({kAtt, "OK\r\n", "OK\r\n", "NM\r\n", line, kAtt});
  rig.page.number = 3;
  ASSERT_TRUE(rig.ops.receive());
  EXPECT_EQ(rig.page.lines, (Lines{text}));
  ASSERT_TRUE(rig.peer.waitForBytes(rig.link.bytesSent()));
  EXPECT_EQ(rig.peer.frames().size(), 8u);  // $% $L 03 ACK, then ACK for name, both pieces, end
}

TEST(ReceiveProgram, EndReplyFirstEmptiesTheEditorAndKeepsTheName) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n", kAtt});
  rig.page.name = "KEEP";
  rig.page.lines = {"old"};
  ASSERT_TRUE(rig.ops.receive());
  EXPECT_EQ(rig.page.name, "KEEP");
  EXPECT_TRUE(rig.page.lines.empty());
}

TEST(DeleteProgram, NameReportedAsAttentionSendsTheTypedName) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n", kAtt, kAtt, "OK\r\n", "OK\r\n", "??\r\n"});
  rig.page.name = "";
  EXPECT_FALSE(rig.ops.deleteProgram());  // "??" is no "$V"
  EXPECT_EQ(rig.peer.frames().back(), "        \r\n");
  EXPECT_EQ(rig.host.questions, (Lines{"#125\n\n#14:01\n#15:"}));
  EXPECT_TRUE(rig.host.hasLine(kProgramPage, "#129"));
}

TEST(ProgramOperations, PortThatDoesNotOpenEndsAtOnce) {
  Rig rig({});
  rig.host.portIndex = 98;  // COM99, linked to nothing: no test opens a real device
  std::filesystem::create_symlink(rig.dir.file("unplugged"), rig.dir.file("COM99"));
  rig.page.lines = {"G00"};
  EXPECT_FALSE(rig.ops.send());
  EXPECT_FALSE(rig.ops.receive());
  EXPECT_FALSE(rig.ops.deleteProgram());
  const std::string line = test::unopenedPortLine(rig.dir, "\\\\.\\COM99", "unplugged");
  EXPECT_EQ(rig.messages(), (Lines{line, line, line}));
}

}  // namespace
}  // namespace qxr

namespace qxr {
namespace {

TEST(ProgramFileOperations, ReadAndWriteThroughThePage) {
  Rig rig({});
  rig.dir.write("p.nc", "7\r\nPART1\r\nN1 G00 X0\r\nN3 M30\r\n");
  ASSERT_TRUE(rig.ops.readFile(rig.dir.file("p.nc")));
  EXPECT_EQ(rig.page.number, 7);
  EXPECT_EQ(rig.page.name, "PART1");
  EXPECT_EQ(rig.page.lines, (Lines{"G00 X0", "", "M30"}));
  EXPECT_EQ(rig.page.fileLabel, "#35" + rig.dir.file("p.nc"));
  EXPECT_EQ(rig.messages(), (Lines{"#111", "#114:3", "#115"}));
  EXPECT_TRUE(rig.page.editorVisible);

  rig.page.name = "COPY";
  ASSERT_TRUE(rig.ops.writeFile(rig.dir.file("q.nc")));
  EXPECT_EQ(rig.dir.read("q.nc"), "7\r\nCOPY\r\nN1 G00 X0\r\nN3 M30\r\n");
  EXPECT_EQ(rig.messages().back(), "#117");

  // X00/X01: no name line, the name is emptied.
  rig.page.gen = kGenerationX00;
  rig.dir.write("x.nc", "12\r\nN2 G01\r\n");
  ASSERT_TRUE(rig.ops.readFile(rig.dir.file("x.nc")));
  EXPECT_EQ(rig.page.name, "");
  EXPECT_EQ(rig.page.lines, (Lines{"", "G01"}));
}

TEST(ProgramFileOperations, BadFilesAreReportedAndTheOldFileSurvives) {
  Rig rig({});
  rig.page.lines = {"KEEP"};
  rig.page.number = 5;
  // Cannot open: the editor keeps its text.
  EXPECT_FALSE(rig.ops.readFile(rig.dir.file("absent.nc")));
  EXPECT_EQ(rig.page.lines, (Lines{"KEEP"}));
  EXPECT_TRUE(rig.page.editorVisible);
  EXPECT_NE(rig.messages().back().find("absent.nc"), std::string::npos);

  rig.dir.write("bad.nc", "100\r\nNAME\r\nN1 X\r\n");
  EXPECT_FALSE(rig.ops.readFile(rig.dir.file("bad.nc")));
  EXPECT_EQ(rig.messages().back(), "#112");
  EXPECT_TRUE(rig.page.lines.empty());
  EXPECT_EQ(rig.page.number, 5);

  rig.dir.write("long.nc", "9\r\nNINECHARS\r\nN1 X\r\n");
  EXPECT_FALSE(rig.ops.readFile(rig.dir.file("long.nc")));
  EXPECT_EQ(rig.messages().back(), "#113");
  EXPECT_EQ(rig.page.number, 9);
  EXPECT_TRUE(rig.page.editorVisible);

  // A save that cannot be made leaves the old file as it was.
  rig.dir.write("old.nc", "1\r\nOLD\r\n");
  std::filesystem::create_directory(rig.dir.file("sub"));
  EXPECT_FALSE(rig.ops.writeFile(rig.dir.file("sub")));
  EXPECT_FALSE(rig.ops.writeFile(rig.dir.file("none/p.nc")));
  EXPECT_EQ(rig.dir.read("old.nc"), "1\r\nOLD\r\n");
  EXPECT_NE(rig.messages().back().find("none/p.nc"), std::string::npos);
}

TEST(MultipleTransfer, ReadManyWritesOneFilePerProgram) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n", "P3\r\n", "N1 G00\r\n", "N2 M30\r\n", kAtt, kSilent,  // program 3
           kAtt, "OK\r\n", kNak,                                                          // 61 absent
           kAtt, "OK\r\n", "OK\r\n", "P62\r\n", kAtt, kSilent});                          // 62 empty
  MultipleChoice choice;
  choice.programs[2] = choice.programs[60] = choice.programs[61] = true;
  choice.prefix = "AB";
  choice.directory = rig.dir.dir();
  EXPECT_FALSE(rig.ops.readMany(choice));  // 61 could not be read
  EXPECT_EQ(rig.dir.read("ABL03.NC"), "3\r\nP3\r\nN1 G00\r\nN2 M30\r\n");
  EXPECT_FALSE(rig.dir.exists("ABG61.NC"));
  EXPECT_EQ(rig.dir.read("ABG62.NC"), "62\r\nP62\r\n");
  rig.peer.waitForFrames(17);
  const Lines frames = rig.peer.frames();
  ASSERT_EQ(frames.size(), 17u);
  EXPECT_EQ(frames[2], "03\r\n");
  EXPECT_EQ(frames[10], "61\r\n");
  EXPECT_EQ(frames[13], "62\r\n");
  // The message box holds the last program's log only.
  EXPECT_EQ(rig.page.messageClears, 3);
  EXPECT_EQ(Lines(rig.messages().end() - 2, rig.messages().end()),
            (Lines{"#107", ncText(0, NcText::kReadManySummary, {}, 2, 1, 0)}));
  EXPECT_TRUE(rig.host.hasLine(kProgramPage, "In program No 61"));
  EXPECT_EQ(rig.page.number, 62);
  EXPECT_EQ(rig.page.fileLabel, "#35" + rig.dir.file("ABG62.NC"));
  EXPECT_FALSE(rig.port.Enabled());
}

TEST(MultipleTransfer, ReadManyWithoutAFirstReplyWritesNoFile) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n"});  // program 1 exists, then silence
  rig.dir.write("L01.NC", "1\r\nMINE\r\nN1 X1\r\n");
  MultipleChoice choice;
  choice.programs[0] = choice.programs[1] = true;
  choice.directory = rig.dir.dir();
  EXPECT_FALSE(rig.ops.readMany(choice));
  EXPECT_TRUE(rig.host.hasLine(kProgramPage, "In program No 01"));
  EXPECT_EQ(rig.dir.read("L01.NC"), "1\r\nMINE\r\nN1 X1\r\n");
  // The batch goes on with program 2 on the port opened again; its attention
  // frame goes unanswered too, which ends the batch.
  EXPECT_EQ(rig.peer.frames().size(), 5u);
  EXPECT_EQ(rig.peer.frames().back(), kAtt);
}

TEST(MultipleTransfer, WriteManyAsksWhenInquiringAndCancelKeepsTheOldProgram) {
  Rig rig({kAtt, "OK\r\n", "OK\r\n", "OLD\r\n",  // exists
           kAtt, "OK\r\n", "OK\r\n", "OK\r\n", "OK\r\n", "OK\r\n", "OK\r\n"});
  rig.host.answers = {false};
  rig.dir.write("A.NC", "4\r\nNEW\r\nN1 G00\r\nN3 M30\r\n");
  MultipleChoice choice;
  choice.files = {"A.NC"};
  choice.directory = rig.dir.dir();
  ASSERT_TRUE(rig.ops.writeMany(choice, true));
  EXPECT_EQ(rig.host.questions, (Lines{"#130\n\n#14:04\n#15:OLD"}));
  EXPECT_EQ(rig.peer.frames(), (Lines{"$%\r\n", "$L\r\n", "04\r\n", kAck, "$%\r\n", "$S\r\n", "04\r\n",
                                      "NEW     \r\n", "N1 G00\r\n", "N2 \r\n", "N3 M30\r\n"}));
  EXPECT_EQ(Lines(rig.messages().end() - 3, rig.messages().end()),
            (Lines{"#106", "#107", ncText(0, NcText::kWriteManySummary, {}, 1, 0)}));
}

TEST(MultipleTransfer, WriteManyEndsAtABadFileBeforeItsFirstFrame) {
  Rig rig({kAtt, "OK\r\n", kNak, kAtt, "OK\r\n", "OK\r\n", "OK\r\n", "OK\r\n"});
  rig.dir.write("A.NC", "4\r\nNEW\r\nN1 G00\r\n");
  rig.dir.write("B.NC", "0\r\nBAD\r\n");
  rig.dir.write("C.NC", "5\r\nC\r\nN1 G00\r\n");
  MultipleChoice choice;
  choice.files = {"A.NC", "B.NC", "C.NC", "absent.NC"};
  choice.directory = rig.dir.dir();
  rig.session.settings.language = 1;
  EXPECT_FALSE(rig.ops.writeMany(choice, false));
  // Every file is checked before the port opens: A is not sent either.
  EXPECT_TRUE(rig.peer.frames().empty());
  const Lines& log = rig.messages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "#112");
  EXPECT_EQ(log.back(), "The file " + rig.dir.file("B.NC") + " cannot be sent: nothing was sent");
  EXPECT_FALSE(rig.port.Enabled());

  // A file that is missing, or no regular file, is named with its reason.
  for (const char* name : {"absent.NC", "sub"}) {
    std::filesystem::create_directory(rig.dir.file("sub"));
    choice.files = {"A.NC", name};
    EXPECT_FALSE(rig.ops.writeMany(choice, false));
    EXPECT_TRUE(rig.peer.frames().empty());
    EXPECT_NE(rig.messages()[rig.messages().size() - 2].find(rig.dir.file(name)), std::string::npos);
  }

  // A file changed after the check is not sent unchecked: the batch ends at it.
  Rig changed({kAtt, "OK\r\n", kNak, kAtt, "OK\r\n", "OK\r\n", "OK\r\n", "OK\r\n"});
  changed.session.settings.language = 1;
  changed.dir.write("A.NC", "4\r\nNEW\r\nN1 G00\r\n");
  changed.dir.write("C.NC", "5\r\nC\r\nN1 G00\r\n");
  changed.host.onProcessEvents = [&] { changed.dir.write("C.NC", "5\r\nC\r\nN1 G00\r\nN2 \x01\r\n"); };
  choice.files = {"A.NC", "C.NC"};
  choice.directory = changed.dir.dir();
  EXPECT_FALSE(changed.ops.writeMany(choice, false));
  EXPECT_EQ(changed.peer.frames().size(), 8u);  // A only
  EXPECT_TRUE(changed.host.hasLine(kProgramPage,
                                   "The file " + changed.dir.file("C.NC") + " changed after it was checked: the batch ends"));
  EXPECT_FALSE(changed.port.Enabled());

  // A line that does not fit is refused before the controller's copy could be deleted.
  Rig second({});
  second.dir.write("L.NC", "4\r\nNEW\r\nN1 " + std::string(300, 'X') + "\r\n");
  choice.files = {"L.NC"};
  choice.directory = second.dir.dir();
  EXPECT_FALSE(second.ops.writeMany(choice, false));
  EXPECT_TRUE(second.peer.frames().empty());
}

}  // namespace
}  // namespace qxr
