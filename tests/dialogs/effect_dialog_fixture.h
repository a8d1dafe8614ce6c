/*
 * effect_dialog_fixture.h - what the effect-dialog tests share: a frame with
 * one document, answering the next dialog through its preview strip's OK or
 * Cancel, and reading single samples back.
 */
#ifndef KV_TEST_EFFECT_DIALOG_FIXTURE_H
#define KV_TEST_EFFECT_DIALOG_FIXTURE_H

#include "app/dialogs/ctl_preview.h"
#include "tests/shell/shell_fixture.h"

#include <QAbstractSlider>
#include <QPushButton>
#include <QTest>
#include <cstddef>
#include <functional>

/* The slider spans the range the engine holds the KV_Params field to. */
#define EXPECT_ENGINE_RANGE(slider, field)                                                         \
    kvExpectEngineRange(slider, offsetof(KV_Params, field), #field)

inline void kvExpectEngineRange(const QAbstractSlider *slider, size_t offset, const char *field) {
    KV_ParamRange range{};
    ASSERT_EQ(kvGetParamRange(static_cast<int32_t>(offset), &range), 0) << field;
    EXPECT_EQ(slider->minimum(), range.lowest) << field;
    EXPECT_EQ(slider->maximum(), range.highest) << field;
}

class EffectDialogTest : public ShellTest {
  protected:
    /* The next dialog, of type T, goes to `use`; then OK or Cancel is pressed. */
    template <typename T> void answerDialog(std::function<void(T *)> use, bool ok) {
        onNextModal([use, ok](QWidget *modal) {
            auto *dialog = qobject_cast<T *>(modal);
            ASSERT_NE(dialog, nullptr) << "unexpected dialog " << modal->metaObject()->className();
            use(dialog);
            QTest::mouseClick(ok ? dialog->preview->cmdOK : dialog->preview->cmdCancel,
                              Qt::LeftButton);
        });
    }
    /* Frame `frame` of the document's first channel. */
    float sampleAt(int32_t frame) const {
        float value = 0;
        kvReadFrames(doc, 0, frame, 1, &value);
        return value;
    }

    frmMain *document = nullptr;
    int32_t doc = -1;
};

#endif
