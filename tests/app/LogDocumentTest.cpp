#include "app/LogDocument.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

class LogDocumentTest : public ::testing::Test {
protected:
    TLogDocument Log;
    QStringList Written;
    int Forwarded = 0;

    void SetUp() override {
        Log.Now = [] { return QTime(9, 5, 3); };
        Log.WriteHtml = [this](const QString& html) { Written.append(html); };
        Log.ForwardToProgress = [this](const QString&, bool, bool) { ++Forwarded; };
        Log.Start();
    }
};

TEST_F(LogDocumentTest, LinesWaitBehindTheHeaderUntilTheFirstShowThenGoStraightIn) {
    Log.AddLog("Ready");
    Log.AddLog("   ");  // nothing at all, not even to the progress window
    EXPECT_TRUE(Written.isEmpty());
    EXPECT_EQ(Forwarded, 2);
    Log.EndBuffering();
    Log.AddLog("next", false, false);
    Log.EndBuffering();
    EXPECT_EQ(Written, QStringList({QString(TLogDocument::kHeader) + "09:05:03 - Ready<br>", "next<br>"}));
    EXPECT_EQ(Log.Html(), QString(TLogDocument::kHeader) + "09:05:03 - Ready<br>next<br>");
}

TEST_F(LogDocumentTest, TextIsEscapedAndOnlyTheProgramsOwnMarkupStaysMarkup) {
    Log.AddLog("<b>x<b>&y.iso");
    Log.AddErrorLog("<script>");
    Log.AddHelpLink("unabletorecognizecdburner", 0);
    Log.AddHelpLink("WRITE ERROR <a href=x>", 1);  // burner errors get no link
    Log.AddHelpLink("  ", 0);
    const QString html = Log.Html();
    EXPECT_TRUE(html.contains("09:05:03 - &lt;b&gt;x&lt;b&gt;&amp;y.iso<br>"));
    EXPECT_TRUE(html.contains("&lt;script&gt;"));
    EXPECT_TRUE(html.endsWith("<a href=\"kvdhelp:unabletorecognizecdburner\"><strong>Click here for an HELP</strong></a> "
                              "(open web page)<br>"));
    EXPECT_EQ(LogHtmlToPlainText("09:05:03 - &lt;b&gt;x&lt;b&gt;&amp;y<br>"), "09:05:03 - <b>x<b>&y\n");
}

TEST(LogLinksTest, OnlyHttpAndHttpsLeaveTheProgram) {
    EXPECT_EQ(ExternalLinkTarget("kvdlink://http://example.org/a?b=1&c")->toString(), "http://example.org/a?b=1&c");
    EXPECT_EQ(ExternalLinkTarget("https://example.org/")->toString(), "https://example.org/");
    EXPECT_EQ(ExternalLinkTarget("www.example.org")->toString(), "http://www.example.org");
    for (const char* refused : {"javascript:alert(1)", "file:///etc/passwd", "kvdlink://file:///etc/passwd",
                                "ftp://example.org/", "kvdhelp:externalaspinotfound", "http://"})
        EXPECT_FALSE(ExternalLinkTarget(refused)) << refused;
    // What a clicked anchor reports, put back together.
    EXPECT_EQ(ExternalLinkTarget(LinkOfAnchor(QUrl("kvdlink://http://example.org/a?b=1&c")))->toString(),
              "http://example.org/a?b=1&c");
    EXPECT_FALSE(ExternalLinkTarget(LinkOfAnchor(QUrl("kvdlink://file:///etc/passwd"))));
    EXPECT_EQ(HelpPageOfLink("kvdhelp:wmadllnotfound").value_or(""), "wmadllnotfound");
    EXPECT_FALSE(HelpPageOfLink("kvdhelp:../../etc/passwd"));
}

}  // namespace
}  // namespace kv
