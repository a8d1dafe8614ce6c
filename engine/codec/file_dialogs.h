/*
 * file_dialogs.h - the engine's open and save dialogs: the toolkit's own file
 * dialog with the engine's panel added under its controls.
 *
 * The panel's controls carry their template numbers as object names
 * (ctl1001 ... ctl1007), and the dialog's selection and type signals play
 * the part of the hooks: the open panel describes and previews the file
 * under the cursor, the save panel offers the WAVE sample formats or the
 * installed codecs and their bit rates for the document's channels and rate.
 */
#ifndef KV_CODEC_FILE_DIALOGS_H
#define KV_CODEC_FILE_DIALOGS_H

#include "engine/codec/preview.h"
#include "engine/platform/codecs.h"

#include <QFileDialog>

#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;

/* Widens a shown file dialog's detail columns to their headings (the date
 * column to a whole date) and the dialog to hold them, within the screen. */
void kvWidenFileDialog(QFileDialog *dialog);

class KvOpenDialog : public QFileDialog {
  public:
    explicit KvOpenDialog(QWidget *parent);
    ~KvOpenDialog() override;

    /* The selection-change hook: describes `path` unless it was the last one. */
    void describe(const QString &path);
    /* "Preview": starts a preview, or stops the one running. */
    void togglePreview();
    void stopPreview();
    bool previewRunning() const;

    void done(int result) override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void buildPanel();
    void previewEnded(const KvPreviewFlags *flags);

    QPushButton *previewButton;
    QLabel *formatText;
    QLabel *lengthText;
    QString lastPath;
    KvCandidate candidate;
    std::shared_ptr<KvPreviewFlags> preview;
};

/* The four choices of the save dialog. */
struct KvSaveChoice {
    int32_t saveFormat; /* 1 PCM, 3 IEEE float, 85 MPEG Layer-3, or KV_FORMAT_FLAC... */
    int32_t saveBits;
    int32_t saveBitRate; /* kbit/s; FLAC level or Vorbis quality for those formats */
    KvCodecId saveCodec;
    int32_t sourceAverage = 0; /* kbit/s of a variable-bit-rate source, else 0 */
    bool saveVariable = false; /* keep that variable rate, at a like quality */
};

class KvSaveDialog : public QFileDialog {
  public:
    KvSaveDialog(QWidget *parent, int32_t channels, int32_t rate, const KvSaveChoice &choice);

    /* The type-change hook: filter 1 is WAVE, 2 compressed, 3 on the
     * formats of an installed libsndfile. */
    void typeChanged(int32_t filter);
    /* Refills the lists for the current choice. */
    void refillLists();

    KvSaveChoice choice;

    void accept() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void buildPanel();
    void fillCodecs();
    void fillBitRates();
    void fillAttributes();
    void fillSoundChoices();
    void checkEmpty();
    void codecChosen(int index);
    void attributeChosen(int index);
    void setOkEnabled(bool enabled);

    int32_t channels;
    int32_t rate;
    bool okAllowed = true;
    bool opened = false;
    QLabel *codecsLabel;
    QComboBox *codecList;
    QComboBox *attributeList;
    QLabel *attributesLabel;
};

/* The dialogs' default extension, "ext" until a dialog first sets it. */
const char *kvSaveExtension();

/* False when no dialog can be shown (no GUI application is running). */
bool kvDialogsAvailable();

/* Extended error codes of a dialog that failed: none could be created, or
 * the chosen name does not fit the caller's buffer. */
enum : int32_t { KV_DIALOG_FAILURE = 0xFFFF, KV_BUFFER_TOO_SMALL = 0x3003 };

#endif
