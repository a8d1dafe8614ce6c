/*
 * The user guide as the program finds it beside itself: a page for every
 * topic number the program can pass, no link or anchor that leads nowhere,
 * no page unreachable from the contents, and the dialogs' Help buttons
 * passing their own topic. Links are read with a pattern, not a parser: the
 * pages are plain hand-written HTML.
 */
#include "app/dialogs/frm_mute.h"
#include "app/dialogs/frm_paste_mix.h"
#include "app/dialogs/frm_record.h"
#include "app/dialogs/frm_volume.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/prompts.h"
#include "tests/audio/test_device.h"
#include "tests/shell/shell_fixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <fstream>
#include <map>

namespace {

QString helpDir() {
    return QString(KV_HELP_DIR);
}

QString readText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

/* Every topic name and number declared in the topics header. */
std::map<QString, int> declaredTopics() {
    std::map<QString, int> topics;
    static const QRegularExpression entry("(kvHelp\\w+)\\s*=\\s*(\\d+)");
    auto it = entry.globalMatch(readText(KV_HELP_TOPICS_HEADER));
    while (it.hasNext()) {
        QRegularExpressionMatch match = it.next();
        topics[match.captured(1)] = match.captured(2).toInt();
    }
    return topics;
}

QStringList pages() {
    return QDir(helpDir()).entryList({"*.html"}, QDir::Files, QDir::Name);
}

/* The targets of a page's href and src attributes and of its meta refresh. */
QStringList linksOf(const QString &html) {
    QStringList links;
    static const QRegularExpression attribute("\\b(?:href|src)\\s*=\\s*\"([^\"]*)\"");
    static const QRegularExpression refresh("content\\s*=\\s*\"\\d+\\s*;\\s*url=([^\"]*)\"",
                                            QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpression *pattern : {&attribute, &refresh}) {
        auto it = pattern->globalMatch(html);
        while (it.hasNext())
            links << it.next().captured(1);
    }
    return links;
}

QSet<QString> idsOf(const QString &html) {
    QSet<QString> ids;
    static const QRegularExpression id("\\bid\\s*=\\s*\"([^\"]+)\"");
    auto it = id.globalMatch(html);
    while (it.hasNext())
        ids.insert(it.next().captured(1));
    return ids;
}

/* Why a link of `page` does not resolve inside the help folder; empty when it does. */
QString brokenReason(const QString &page, const QString &link) {
    if (link.isEmpty()) return "empty link";
    if (link.contains(':') || link.startsWith('/'))
        return "leaves the help folder (pages must work offline)";
    QString file = link.section('#', 0, 0);
    QString anchor = link.contains('#') ? link.section('#', 1) : QString();
    QString target = file.isEmpty() ? page : file;
    if (target.contains('/') || target.contains("..")) return "points outside the help folder";
    QString path = QDir(helpDir()).filePath(target);
    if (!QFile::exists(path)) return "no such file";
    if (!anchor.isEmpty() && !idsOf(readText(path)).contains(anchor))
        return "no element with id \"" + anchor + "\"";
    return QString();
}

} // namespace

TEST(HelpPages, EveryTopicTheProgramPassesHasAPage) {
    std::map<QString, int> topics = declaredTopics();
    ASSERT_GE(topics.size(), 20u) << "could not read " << KV_HELP_TOPICS_HEADER;
    EXPECT_EQ(topics["kvHelpNoCodec"], kvHelpNoCodec);
    EXPECT_EQ(topics["kvHelpRecord"], kvHelpRecord);
    for (const auto &[name, number] : topics)
        EXPECT_TRUE(QFile::exists(QDir(helpDir()).filePath(QString("topic-%1.html").arg(number))))
            << name.toStdString() << " = " << number << " has no page in " << KV_HELP_DIR;
    EXPECT_TRUE(QFile::exists(QDir(helpDir()).filePath("contents.html")));
    EXPECT_TRUE(QFile::exists(QDir(helpDir()).filePath("help.css")));
}

TEST(HelpPages, EveryRelativeLinkAndAnchorResolves) {
    QStringList all = pages();
    ASSERT_FALSE(all.isEmpty());
    int checked = 0;
    for (const QString &page : all) {
        for (const QString &link : linksOf(readText(QDir(helpDir()).filePath(page)))) {
            checked++;
            QString reason = brokenReason(page, link);
            EXPECT_TRUE(reason.isEmpty()) << page.toStdString() << " links to \""
                                          << link.toStdString() << "\": " << reason.toStdString();
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(HelpPages, EveryPageIsReachableFromTheContents) {
    QSet<QString> reached{"contents.html"};
    QStringList queue{"contents.html"};
    while (!queue.isEmpty()) {
        QString page = queue.takeFirst();
        for (const QString &link : linksOf(readText(QDir(helpDir()).filePath(page)))) {
            QString file = link.section('#', 0, 0);
            if (file.endsWith(".html") && brokenReason(page, link).isEmpty() &&
                !reached.contains(file)) {
                reached.insert(file);
                queue << file;
            }
        }
    }
    for (const QString &page : pages())
        EXPECT_TRUE(reached.contains(page)) << page.toStdString() << " is not linked from the "
                                            << "contents or any page it leads to";
}

TEST(HelpPages, ErrorTopicsExplainTheMessagesThatOfferThem) {
    QString noCodec = readText(QDir(helpDir()).filePath("topic-24.html"));
    QString cantCreate = readText(QDir(helpDir()).filePath("topic-25.html"));
    EXPECT_TRUE(noCodec.contains("No CODECs Found to handle this type of file."));
    EXPECT_TRUE(noCodec.contains("Can't find a suitable CODEC to save this file."));
    EXPECT_TRUE(cantCreate.contains("Can't create temporary file."));
}

class HelpButtons : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        kvUseTestAudioDevice(path("played.raw"));
        std::string input = path("input.raw");
        std::ofstream(input, std::ios::binary) << std::string(8000 * 4, '\0');
        setenv("KV_TEST_AUDIO_IN", input.c_str(), 1);
        options.recordAutoStart = 0;
        options.mixerPanelOpen = 0;
        startFrame();
        document = openDocument(writeWave("help.wav", 2, 8000, ramp(8000), false));
        ASSERT_NE(document, nullptr);
        mdlTestTakeHelpRequests();
    }

    /* The next dialog of type T gets Help then Cancel pressed. */
    template <typename T> void pressHelpThenCancel() {
        onNextModal([](QWidget *modal) {
            auto *dialog = qobject_cast<T *>(modal);
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(dialog->preview->cmdHelp->isEnabled());
            QTest::mouseClick(dialog->preview->cmdHelp, Qt::LeftButton);
            QTest::mouseClick(dialog->preview->cmdCancel, Qt::LeftButton);
        });
    }

    /* The one help request made since the last call, as {command, topic}. */
    static std::pair<int32_t, int32_t> onlyRequest() {
        std::vector<MdlHelpRequest> requests = mdlTestTakeHelpRequests();
        if (requests.size() != 1) return {-1, static_cast<int32_t>(requests.size())};
        return {requests[0].command, requests[0].topic};
    }

    frmMain *document = nullptr;
};

TEST_F(HelpButtons, EffectDialogsOpenTheirOwnTopic) {
    using Request = std::pair<int32_t, int32_t>;
    pressHelpThenCancel<frmVolume>();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuVolume));
    EXPECT_EQ(onlyRequest(), Request(1, kvHelpVolume));

    pressHelpThenCancel<frmVolume>();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuMaximize));
    EXPECT_EQ(onlyRequest(), Request(1, kvHelpNormalize));

    kvSetSelection(document->ID, 100, 200, -1);
    pressHelpThenCancel<frmMute>();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuMute));
    EXPECT_EQ(onlyRequest(), Request(1, kvHelpFadeEdges));
    pressHelpThenCancel<frmMute>();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverse));
    EXPECT_EQ(onlyRequest(), Request(1, kvHelpFadeEdges));

    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCopy));
    kvSetSelection(document->ID, 0, 0, -1);
    pressHelpThenCancel<frmPasteMix>();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuPasteMix));
    EXPECT_EQ(onlyRequest(), Request(1, kvHelpPasteMix));
}

TEST_F(HelpButtons, RecordingWindowOpensTheRecordingTopic) {
    frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
    window.show();
    QTest::mouseClick(window.cmdHelp, Qt::LeftButton);
    std::vector<MdlHelpRequest> requests = mdlTestTakeHelpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, 1);
    EXPECT_EQ(requests[0].topic, kvHelpRecord);
    QTest::mouseClick(window.cmdDone, Qt::LeftButton);
}
