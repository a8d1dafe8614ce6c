/*
 * One edit end to end through the program: a WAVE file opened in the frame,
 * Reverb chosen from the document window's menu, confirmed in its dialog,
 * and taken back with one undo.
 */
#include "app/dialogs/frm_reverb.h"
#include "app/shell/mdl_main.h"
#include "tests/shell/shell_fixture.h"

#include <QPushButton>
#include <QTest>

#include <cmath>

namespace {

std::vector<float> readChannel(int32_t doc, int32_t channel) {
    std::vector<float> samples(static_cast<size_t>(kvGetLength(doc)));
    kvReadFrames(doc, channel, 0, kvGetLength(doc), samples.data());
    return samples;
}

double energy(const std::vector<float> &samples, size_t from) {
    double sum = 0;
    for (size_t i = from; i < samples.size(); i++)
        sum += static_cast<double>(samples[i]) * samples[i];
    return sum;
}

} // namespace

class ReverbEndToEndTest : public ShellTest {};

TEST_F(ReverbEndToEndTest, ReverbThroughItsDialogGrowsByTheTailAndOneUndoRestoresTheSound) {
    startFrame();
    const int32_t rate = 44100, frames = 22050;
    /* Short bursts of a 441 Hz tone with silence between them. */
    std::vector<float> sound(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; i++)
        sound[static_cast<size_t>(i)] =
            (i % 4410) < 441 ? 0.5f * static_cast<float>(std::sin(2 * M_PI * 441.0 * i / rate))
                             : 0.0f;
    frmMain *document = openDocument(writeWave("burst.wav", 2, rate, sound, true));
    ASSERT_NE(document, nullptr);
    int32_t doc = document->ID;
    ASSERT_EQ(kvGetLength(doc), frames);
    std::vector<float> left = readChannel(doc, 0), right = readChannel(doc, 1);
    int32_t level = kvGetUndoLevel(doc);

    bool confirmed = false;
    onNextModal([&confirmed](QWidget *modal) {
        auto *reverb = qobject_cast<frmReverb *>(modal);
        ASSERT_NE(reverb, nullptr);
        confirmed = true;
        QTest::mouseClick(reverb->preview->cmdOK, Qt::LeftButton);
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverb));
    ASSERT_TRUE(confirmed);

    /* The tail of extendAmount seconds lands after the old end. */
    int32_t tail = options.extendEffect * options.extendAmount * rate;
    ASSERT_GT(tail, 0);
    ASSERT_EQ(kvGetLength(doc), frames + tail);
    std::vector<float> wetLeft = readChannel(doc, 0), wetRight = readChannel(doc, 1);
    EXPECT_GT(energy(wetLeft, static_cast<size_t>(frames)), 1e-3);
    EXPECT_GT(energy(wetRight, static_cast<size_t>(frames)), 1e-3);
    wetLeft.resize(static_cast<size_t>(frames));
    EXPECT_NE(wetLeft, left);
    EXPECT_EQ(kvGetUndoLevel(doc), level + 1);

    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuUndo));
    EXPECT_EQ(kvGetUndoLevel(doc), level);
    ASSERT_EQ(kvGetLength(doc), frames);
    EXPECT_EQ(readChannel(doc, 0), left);
    EXPECT_EQ(readChannel(doc, 1), right);
    for (int32_t i = 0; i < frames; i += 1000)
        EXPECT_FLOAT_EQ(left[static_cast<size_t>(i)], sound[static_cast<size_t>(i)]);
}
