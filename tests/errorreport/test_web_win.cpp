// Web programs: the reporter's child program run as a CGI program (console, REQUEST_METHOD set) and as
// a WinCGI program (no console, the server's profile as first argument) answers a fault with the HTTP
// header block and the report page; run as a plain program it is neither.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "base/cmdline.h"
#include "base/file.h"
#include "errorreport/delivery/web_output.h"
#include "tests/support/process_win.h"

namespace sondrel::test {
namespace {

std::string Folder() { return ProgramFolder() + "web_logs\\"; }

// The response must be one header block whose length is that of the page after it, and the page must
// show the report with the message escaped.
// whole: nothing may follow the page.
void ExpectResponse(const std::string& response, bool whole) {
  std::smatch m;
  ASSERT_TRUE(std::regex_search(response, m,
                                std::regex("Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: (\\d+)\r\n"
                                           "Content:\r\n\r\n")))
      << response;
  const std::string page = m.suffix().str().substr(0, std::stoul(m[1].str()));
  if (whole) {
    EXPECT_EQ(m.suffix().str().size(), page.size()) << "something follows the page";
  }
  EXPECT_EQ(page.rfind("<html><head><title>Error.</title></head><body><p><small><font face=\"Lucida Console,Courier\">"
                       "An&nbsp;error&nbsp;has&nbsp;occurred&nbsp;during&nbsp;program&nbsp;execution.<br>",
                       0),
            0u)
      << page;
  const std::string end = "</font></small></p></body></html>";
  EXPECT_TRUE(page.size() > end.size() && page.compare(page.size() - end.size(), end.size(), end) == 0) << page;
  EXPECT_NE(page.find("Message:&nbsp;Bad&nbsp;&lt;b&gt;query&lt;/b&gt;&nbsp;&amp;&nbsp;more."), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos) << "the message's markup reached the page";
}

class WebPrograms : public testing::Test {
 protected:
  void SetUp() override {
    ForceDirectories(Folder());
    SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  }
  void TearDown() override { SetEnvironmentVariableA("REQUEST_METHOD", nullptr); }
};

TEST_F(WebPrograms, ACgiProgramThatFaultsAnswersWithTheStatusLineHeaderAndPage) {
  SetEnvironmentVariableA("REQUEST_METHOD", "GET");
  const ChildResult r = RunChild(QuoteArg(ProgramFolder() + "report_child.exe") + " web " +
                                 QuoteArg(Folder() + "cgi.rpt"), 60000);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.output.rfind("web=1 gui=0 cgi=1 wincgi=0\r\n", 0), 0u) << r.output;
  ExpectResponse(r.output, false);
  EXPECT_NE(r.output.find("</html>done"), std::string::npos) << "the program did not go on after its answer";
}

TEST_F(WebPrograms, AWinCgiProgramWritesTheAnswerIntoItsOutputFile) {
  const std::string profile = Folder() + "request.ini", output = Folder() + "answer.txt";
  WriteFileAtomic(profile, "[CGI]\r\nRequest Method=POST\r\n[System]\r\nOutput File=" + output + "\r\n");
  // An answer shorter than what the file held before leaves nothing of the old content behind.
  WriteFileAtomic(output, std::string(100000, 'x'));
  const ChildResult r =
      RunChild(QuoteArg(ProgramFolder() + "report_child_gui.exe") + " " + QuoteArg(profile) + " content.txt", 60000);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.output, "web=1 gui=0 cgi=0 wincgi=1\r\ndone\r\n");
  const std::string answer = ReadFileBytes(output).value_or("");
  ExpectResponse(answer, true);
}

// An ISAPI extension that fails inside a request answers it through the server's callbacks: status
// 200, the status "200 Error" with the header block (which has no status line), then the page.
// Outside a request, before it and after it, there is no block to answer, and the reporter says so.
TEST_F(WebPrograms, AnIsapiExtensionAnswersTheRequestThroughTheServersCallbacks) {
  const ChildResult r = RunChild(QuoteArg(ProgramFolder() + "isapi_host.exe"), 60000);
  ASSERT_FALSE(r.timed_out);
  const std::string& out = r.output;
  const std::string outside = "outside=ISAPI: ServerECB = nil\n";
  EXPECT_EQ(out.rfind(outside, 0), 0u) << out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("request=(\\d+) line=([^\n]*)\nheader=(\\d+)\n"))) << out;
  EXPECT_EQ(m[1].str(), "3") << "not the response header request";
  EXPECT_EQ(m[2].str(), "200 Error");
  const size_t header_at = m.position(0) + m.length(0);
  const std::string header = out.substr(header_at, std::stoul(m[3].str()));
  const std::string rest = out.substr(header_at + header.size());
  ASSERT_TRUE(std::regex_search(rest, m, std::regex("^\npage=(\\d+)\n"))) << rest;
  const std::string page = rest.substr(m.length(0), std::stoul(m[1].str()));
  EXPECT_EQ(header, WebResponseHeader(page.size(), false));
  EXPECT_EQ(header.find("Status:"), std::string::npos);
  ExpectResponse(WebResponseHeader(page.size(), true) + page, true);
  EXPECT_EQ(rest.substr(m.length(0) + page.size()), "\nstatus=200 result=1\n" + outside);
}

TEST_F(WebPrograms, ThePlainProgramsAreNeither) {
  EXPECT_EQ(RunChild(QuoteArg(ProgramFolder() + "report_child_gui.exe") + " kinds x", 30000).output,
            "web=0 gui=1 cgi=0 wincgi=0\r\n");
  EXPECT_EQ(RunChild(QuoteArg(ProgramFolder() + "report_child.exe") + " kinds x", 30000).output,
            "web=0 gui=0 cgi=0 wincgi=0\r\n");
}

}  // namespace
}  // namespace sondrel::test
