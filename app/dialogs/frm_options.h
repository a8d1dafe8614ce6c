/*
 * frm_options.h - the "Program Options" dialog: every user preference of
 * KV_Options on six pages, with the waveform colours and their schemes and
 * the spectrogram and amplitude ruler on the View page.
 *
 * The dialog edits a private copy of the whole 144-byte record, and ones of
 * the engine's KV_Limits and KV_ViewOptions, and hands them over only on Apply (or OK with Apply
 * pending), so Cancel can never leave a half-changed record behind for the
 * engine to read.
 */
#ifndef KV_APP_FRM_OPTIONS_H
#define KV_APP_FRM_OPTIONS_H

#include "korvel.h"

#include <QDialog>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class ctlPresets;

/* Pages of the options dialog, in the order of its list. */
enum MdlOptionsPage : int {
    MDL_OPTIONS_AUDIO,
    MDL_OPTIONS_GENERAL,
    MDL_OPTIONS_ADVANCED,
    MDL_OPTIONS_COLORS,
    MDL_OPTIONS_FFT,
    MDL_OPTIONS_VIEW
};

/* Opens the options dialog modally on `page`, editing `options`; true when
 * the user confirmed with OK. */
bool mdlShowOptions(QWidget *owner, KV_Options *options, int page);

/* The 100 colours of the quick-pick palette (0x00BBGGRR), row by row. */
int32_t mdlPaletteColor(int index);

/* A small waveform drawn in a colour table; a click reports the colour item
 * (0..9) drawn under the pointer. */
class ctlColorPreview : public QWidget {
    Q_OBJECT
  public:
    explicit ctlColorPreview(QWidget *owner);
    void showColors(const int32_t *colors);
    /* The item drawn at a point of the picture, or -1 where none is. */
    int itemAt(QPoint point) const;
    QSize sizeHint() const override;

  signals:
    void itemClicked(int item);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

  private:
    std::array<int32_t, 11> colors{};
};

/* The palette grid: a click reports the colour of the cell under it. */
class ctlPalette : public QWidget {
    Q_OBJECT
  public:
    explicit ctlPalette(QWidget *owner);
    /* Where cell `index` (row by row) lies in the grid. */
    QRect cellRect(int index) const;
    QSize sizeHint() const override;

  signals:
    void colorClicked(int32_t color);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
};

class frmOptions : public QDialog {
    Q_OBJECT
  public:
    /* params: the record "Settings..." edits (null disables the button). */
    frmOptions(QWidget *owner, KV_Options *options, KV_Params *params, int page);
    ~frmOptions() override;

    /* The menu-select hook's report: n for an entry whose text starts " n:",
     * 0 for any other entry, -1 when no entry can be read (menu closed). */
    void MenuHover(int32_t id);
    void Apply();

    /* The engine's device and drive lists; tests put their own lists here. */
    static std::function<int32_t(int32_t)> deviceCountCall;
    static std::function<int32_t(int32_t, int32_t, char *, int32_t)> deviceNameCall;
    static std::function<int32_t(int32_t, char *, int32_t, char *, int32_t)> driveCall;

    KV_Options working{};
    KV_Limits workingLimits{};
    KV_ViewOptions workingView{};

    QListWidget *lstPages;
    QStackedWidget *pages;
    QCheckBox *chkTips;
    QCheckBox *chkDontAsk;
    QPushButton *cmdSettings;
    QCheckBox *chkClipWarn;
    QComboBox *cmbClipWarn;
    QLabel *lblClipDb;
    QComboBox *cmbDevice;
    QComboBox *cmbTDrive;
    QLabel *lblWorkSize;
    QSpinBox *txtUndoLimit;
    QCheckBox *chkNoSync;
    QCheckBox *chkCopyBitmap;
    QCheckBox *chkShowAnal;
    QComboBox *cmbFSize;
    QComboBox *cmbWindow;
    QComboBox *cmbOSamp;
    QComboBox *cmbFreqScale;
    QComboBox *cmbColorMap;
    QSpinBox *txtRangeDb;
    QSpinBox *txtGainDb;
    QComboBox *cmbAmpRuler;
    QComboBox *cmbNewMode;
    QComboBox *cmbItems;
    QLabel *lblColor;
    ctlPalette *palette;
    QPushButton *cmdCustom;
    QCheckBox *chkShadow;
    ctlColorPreview *picPreview;
    ctlPresets *presets;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdApply;
    QPushButton *cmdHelp;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QWidget *createAudioPage();
    QWidget *createGeneralPage();
    QWidget *createAdvancedPage();
    QWidget *createColorsPage();
    QWidget *createFftPage();
    QWidget *createViewPage();
    void fillDevices();
    void fillDrives();
    void showWorkFolderSize();
    void readControls();
    void readColorControls();
    void changed();
    void assignColor(int32_t color);
    void menuSelect(QAction *entry);
    void cmdOK_Click();
    void cmdSettings_Click();

    KV_Options *options;
    KV_Params *params;
    QWidget *fraBody;
    int32_t lastHover = 0;
    std::array<int32_t, 11> scheme{};
};

#endif
