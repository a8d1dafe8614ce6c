/*
 * save_dialog.cpp - kvGetSaveFile: the save dialog with the panel that
 * chooses the file type's sample format, codec and bit rate.
 *
 * The four choices live in the dialog while it is open and reach the
 * document only on OK, so cancelling changes nothing. The lists always show
 * what will be used: the entry selected when a list is refilled is the
 * choice, never a value the lists no longer offer; a bit rate not offered
 * becomes the nearest to a new document's. A compressed type with no
 * codec for the document's channels and rate disables OK and says so once.
 * kvSetSaveFormat makes the same choices without the dialog, from the same
 * lists, so batch work can save only what the dialog could.
 */
#include "engine/codec/codec.h"
#include "engine/codec/file_dialogs.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/platform/messages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

static char kvDefaultExtension[5] = "ext";

const char *kvSaveExtension() {
    return kvDefaultExtension;
}

/* The WAVE attribute entries, in list order. */
struct KvAttribute {
    const char *name;
    int32_t format;
    int32_t bits;
};
static const KvAttribute kvAttributes[6] = {
    {"8 Bit Unsigned", 1, 8},
    {"16 Bit Signed", 1, 16},
    {"24 Bit Signed", 1, 24},
    {"32 Bit Signed", 1, 32},
    {"Bit IEEE Single (32 Bit)", 3, 32},
    {"Bit IEEE Double (64 Bit)", 3, 64},
};

/* The file types in filter order: WAVE and MP3 always, the libsndfile ones
 * only when it is installed (they follow in this order). */
struct KvSaveType {
    const char *filter;
    const char *extension;
    int32_t formatTag;
};
static const KvSaveType kvSaveTypes[] = {
    {"PCM Wave File (*.wav)", "wav", 1},
    {"MPEG1 Layer-3 File (*.mp3)", "mp3", 85},
    {"FLAC File (*.flac)", "flac", KV_FORMAT_FLAC},
    {"Ogg Vorbis File (*.ogg)", "ogg", KV_FORMAT_VORBIS},
    {"Opus File (*.opus)", "opus", KV_FORMAT_OPUS},
    {"AIFF File (*.aif *.aiff)", "aif", KV_FORMAT_AIFF},
};

static int32_t kvSaveTypeCount() {
    return kvSoundFilesInstalled() ? static_cast<int32_t>(std::size(kvSaveTypes)) : 2;
}

/* The filter (1-based) of a document format. */
static int32_t kvFilterOf(int32_t formatTag) {
    for (int32_t i = 2; i < kvSaveTypeCount(); i++)
        if (kvSaveTypes[i].formatTag == formatTag) return i + 1;
    return formatTag == 85 ? 2 : 1;
}

/* The Opus bit rates offered, in kbit/s. */
static const int32_t kvOpusBitRates[] = {32, 48, 64, 96, 128, 160, 192, 256};

KvSaveDialog::KvSaveDialog(QWidget *parent, int32_t channels, int32_t rate,
                           const KvSaveChoice &choice)
    : QFileDialog(parent), choice(choice), channels(channels), rate(rate) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (int32_t i = 0; i < kvSaveTypeCount(); i++)
        filters.append(kvSaveTypes[i].filter);
    setNameFilters(filters);
    setSizeGripEnabled(true);
    buildPanel();
    int32_t filter = kvFilterOf(choice.saveFormat);
    selectNameFilter(kvSaveTypes[filter - 1].filter);
    /* The default extension follows the type the dialog starts with, so a
     * name typed without one is never saved as ".ext". */
    std::snprintf(kvDefaultExtension, sizeof kvDefaultExtension, "%s",
                  kvSaveTypes[filter - 1].extension);
    setDefaultSuffix(kvDefaultExtension);
    connect(this, &QFileDialog::filterSelected, this, [this](const QString &name) {
        typeChanged(static_cast<int32_t>(nameFilters().indexOf(name)) + 1);
    });
    if (auto *edit = findChild<QLineEdit *>("fileNameEdit"))
        connect(edit, &QLineEdit::textChanged, this, [this] { setOkEnabled(okAllowed); });
}

/* The lists are filled when the dialog opens, so a "No CODECs Found" box
 * comes over the dialog rather than before it. */
void KvSaveDialog::showEvent(QShowEvent *event) {
    QFileDialog::showEvent(event);
    kvWidenFileDialog(this);
    if (opened) return;
    opened = true;
    refillLists();
}

/* Labels 1004 and 1007 line up with the file-type label, the lists with the
 * file-type box, in two rows the grid keeps aligned on resizing. */
void KvSaveDialog::buildPanel() {
    QFont small = font();
    small.setPointSize(8);
    codecsLabel = new QLabel("Codecs:", this);
    codecList = new QComboBox(this);
    attributeList = new QComboBox(this);
    attributesLabel = new QLabel("Attributes:", this);
    codecsLabel->setObjectName("ctl1004");
    codecList->setObjectName("ctl1005");
    attributeList->setObjectName("ctl1006");
    attributesLabel->setObjectName("ctl1007");
    for (QWidget *control :
         {static_cast<QWidget *>(codecsLabel), static_cast<QWidget *>(codecList),
          static_cast<QWidget *>(attributeList), static_cast<QWidget *>(attributesLabel)})
        control->setFont(small);
    codecsLabel->setEnabled(false);
    codecList->setEnabled(false);
    auto *grid = qobject_cast<QGridLayout *>(layout());
    int row = grid->rowCount();
    grid->addWidget(codecsLabel, row, 0);
    grid->addWidget(codecList, row, 1);
    grid->addWidget(attributesLabel, row + 1, 0);
    grid->addWidget(attributeList, row + 1, 1);
    connect(codecList, &QComboBox::activated, this, &KvSaveDialog::codecChosen);
    connect(attributeList, &QComboBox::activated, this, &KvSaveDialog::attributeChosen);
}

void KvSaveDialog::typeChanged(int32_t filter) {
    if (filter < 1 || filter > kvSaveTypeCount()) filter = 1;
    const KvSaveType &type = kvSaveTypes[filter - 1];
    std::snprintf(kvDefaultExtension, sizeof kvDefaultExtension, "%s", type.extension);
    setDefaultSuffix(kvDefaultExtension);
    /* A level or quality is no bit rate: another kind starts from its default. */
    bool fromLibrary = kvIsSoundFileFormat(choice.saveFormat);
    if (kvIsSoundFileFormat(type.formatTag) && choice.saveFormat != type.formatTag)
        choice.saveBitRate = kvSoundDefaultSetting(type.formatTag);
    else if (type.formatTag == 85 && fromLibrary)
        choice.saveBitRate = KV_DEFAULT_BIT_RATE;
    choice.saveFormat = type.formatTag;
    refillLists();
}

void KvSaveDialog::refillLists() {
    if (choice.saveFormat == 85)
        fillCodecs();
    else if (kvIsSoundFileFormat(choice.saveFormat))
        fillSoundChoices();
    else
        fillAttributes();
    checkEmpty();
}

/* An entry of a libsndfile format: bits in the high half, the setting in
 * the low one. */
static void kvAddSoundEntry(QComboBox *list, const QString &name, int32_t bits, int32_t setting) {
    list->addItem(name, bits << 16 | setting);
}

/* The library is the codec; the entries are the format's natural choices:
 * FLAC depth and compression level, Vorbis quality, Opus bit rate (at the
 * rates Opus carries), AIFF depth. The document's own choice is selected,
 * else the format's default. */
void KvSaveDialog::fillSoundChoices() {
    codecList->clear();
    codecList->addItem(kvSoundFilesLongName());
    codecList->setCurrentIndex(0);
    attributeList->clear();
    int32_t format = choice.saveFormat;
    if (format == KV_FORMAT_FLAC)
        for (int32_t bits : {16, 24})
            for (int32_t level = 0; level <= 8; level++)
                kvAddSoundEntry(attributeList, QString("%1 Bit, Level %2").arg(bits).arg(level),
                                bits, level);
    if (format == KV_FORMAT_AIFF)
        for (int32_t bits : {16, 24})
            kvAddSoundEntry(attributeList, QString("%1 Bit Signed").arg(bits), bits, 0);
    if (format == KV_FORMAT_VORBIS)
        for (int32_t quality = 0; quality <= 10; quality++)
            kvAddSoundEntry(attributeList, QString("Quality %1").arg(quality), 16, quality);
    KvSoundEncoding opus{KV_SOUND_OPUS, channels, rate, 16, 128};
    if (format == KV_FORMAT_OPUS && kvSoundCanWrite(opus))
        for (int32_t bitRate : kvOpusBitRates)
            kvAddSoundEntry(attributeList, QString("Bitrate: %1 kbps").arg(bitRate), 16, bitRate);
    bool lossless = format == KV_FORMAT_FLAC || format == KV_FORMAT_AIFF;
    int32_t bits = lossless && choice.saveBits == 24 ? 24 : 16;
    int wanted = attributeList->findData(bits << 16 | choice.saveBitRate);
    if (wanted < 0) wanted = attributeList->findData(bits << 16 | kvSoundDefaultSetting(format));
    if (wanted < 0 && attributeList->count() > 0) wanted = 0;
    attributeList->setCurrentIndex(wanted);
    if (wanted >= 0) attributeChosen(wanted);
    codecList->setEnabled(attributeList->count() > 0);
    codecsLabel->setEnabled(attributeList->count() > 0);
}

static bool kvHasFormatTag(KvCodecId driver, int32_t tag) {
    for (int32_t each : kvAcmFormatTags(driver))
        if (each == tag) return true;
    return false;
}

void KvSaveDialog::fillCodecs() {
    codecList->clear();
    int selected = -1;
    for (KvCodecId driver : kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL)) {
        if (!kvAcmDriverIsCodec(driver) || !kvHasFormatTag(driver, choice.saveFormat)) continue;
        if (driver == choice.saveCodec) selected = codecList->count();
        codecList->addItem(kvAcmDriverLongName(driver),
                           QVariant::fromValue(reinterpret_cast<quintptr>(driver)));
    }
    if (selected < 0 && codecList->count() > 0) selected = 0;
    codecList->setCurrentIndex(selected);
    choice.saveCodec =
        selected < 0 ? nullptr
                     : reinterpret_cast<KvCodecId>(codecList->itemData(selected).value<quintptr>());
    fillBitRates();
    codecList->setEnabled(true);
    codecsLabel->setEnabled(true);
}

/* The entry of the bit rate nearest to `wanted`, the higher one of two as
 * near; -1 for an empty list. */
/* Marks the bit-rate entry that keeps a variable rate. */
static const int kvVariableRole = Qt::UserRole + 1;

static int kvNearestBitRate(const QComboBox *list, int32_t wanted) {
    int nearest = -1;
    int32_t distance = INT32_MAX;
    for (int i = 0; i < list->count(); i++) {
        int32_t away = std::abs(list->itemData(i).toInt() - wanted);
        if (away <= distance) {
            nearest = i;
            distance = away;
        }
    }
    return nearest;
}

/* The document's own bit rate when the codec offers it. Otherwise (a WAVE
 * document has none, an MPEG-2 rate stops at 160) the entry nearest to a new
 * document's bit rate: the first entry would be the lowest quality on offer.
 * A variable-bit-rate source adds an entry that keeps its kind of rate; it
 * stands first and is chosen while the choice is to keep it. */
void KvSaveDialog::fillBitRates() {
    attributeList->clear();
    if (!choice.saveCodec) return;
    int selected = -1;
    if (choice.sourceAverage > 0) {
        attributeList->addItem(QString("Bitrate: VBR, average %1 kbps").arg(choice.sourceAverage),
                               choice.sourceAverage);
        attributeList->setItemData(0, true, kvVariableRole);
        if (choice.saveVariable) selected = 0;
    }
    for (const KvWaveFormat &format : kvAcmFormats(choice.saveCodec, choice.saveFormat)) {
        if (format.channels != channels || format.samplesPerSec != rate) continue;
        int32_t bitRate = format.avgBytesPerSec / 125;
        if (bitRate == choice.saveBitRate && selected < 0) selected = attributeList->count();
        attributeList->addItem(QString("Bitrate: %1 kbps").arg(bitRate), bitRate);
    }
    if (attributeList->count() == 0) return;
    if (selected < 0) selected = kvNearestBitRate(attributeList, KV_DEFAULT_BIT_RATE);
    attributeList->setCurrentIndex(selected);
    choice.saveBitRate = attributeList->itemData(selected).toInt();
    choice.saveVariable = attributeList->itemData(selected, kvVariableRole).toBool();
    choice.saveBits = 16;
}

void KvSaveDialog::fillAttributes() {
    attributeList->clear();
    int selected = -1;
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(kvAttributes)); i++) {
        attributeList->addItem(kvAttributes[i].name, i);
        if (kvAttributes[i].format == choice.saveFormat && kvAttributes[i].bits == choice.saveBits)
            selected = i;
    }
    /* A format no entry offers (PCM of 64 bits after leaving floating
     * point) would write a file nothing reads back: 16 bits instead. */
    if (selected < 0) {
        selected = 1;
        choice.saveFormat = kvAttributes[1].format;
        choice.saveBits = kvAttributes[1].bits;
    }
    attributeList->setCurrentIndex(selected);
    codecList->setEnabled(false);
    codecsLabel->setEnabled(false);
}

void KvSaveDialog::checkEmpty() {
    if (attributeList->count() > 0) {
        setOkEnabled(true);
        attributeList->setEnabled(true);
        attributesLabel->setEnabled(true);
        return;
    }
    setOkEnabled(false);
    bool wasEnabled = attributesLabel->isEnabled();
    for (QWidget *control :
         {static_cast<QWidget *>(codecsLabel), static_cast<QWidget *>(codecList),
          static_cast<QWidget *>(attributeList), static_cast<QWidget *>(attributesLabel)})
        control->setEnabled(false);
    if (wasEnabled)
        kvShowMessageBox(this, "No CODECs Found",
                         "No CODECs Found for the specified format. Please select a different "
                         "file type.",
                         KV_BOX_OK, KV_ICON_WARNING, KV_ID_OK);
}

void KvSaveDialog::codecChosen(int index) {
    choice.saveCodec = reinterpret_cast<KvCodecId>(codecList->itemData(index).value<quintptr>());
    fillBitRates();
    checkEmpty();
}

void KvSaveDialog::attributeChosen(int index) {
    if (kvIsSoundFileFormat(choice.saveFormat)) {
        int32_t entry = attributeList->itemData(index).toInt();
        choice.saveBits = entry >> 16;
        choice.saveBitRate = entry & 0xFFFF;
        choice.saveCodec = nullptr;
        return;
    }
    if (choice.saveFormat == 85) {
        choice.saveBitRate = attributeList->itemData(index).toInt();
        choice.saveVariable = attributeList->itemData(index, kvVariableRole).toBool();
        choice.saveBits = 16;
        return;
    }
    const KvAttribute &attribute = kvAttributes[attributeList->itemData(index).toInt()];
    choice.saveFormat = attribute.format;
    choice.saveBits = attribute.bits;
    choice.saveBitRate = 0;
    choice.saveCodec = nullptr;
    choice.saveVariable = false;
}

/* The toolkit re-enables its accept button as the name is typed, so the
 * state is applied again then, and accept() itself is refused while off. */
void KvSaveDialog::setOkEnabled(bool enabled) {
    okAllowed = enabled;
    auto *buttons = findChild<QDialogButtonBox *>("buttonBox");
    auto *edit = findChild<QLineEdit *>("fileNameEdit");
    if (!buttons) return;
    for (QAbstractButton *button : buttons->buttons())
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(enabled && (!edit || !edit->text().isEmpty()));
}

void KvSaveDialog::accept() {
    if (okAllowed) QFileDialog::accept();
}

/* The starting name: the path without its extension (only a "." after the
 * last "/" starts one). */
static QString kvStartingName(const char *path) {
    QString name = QFile::decodeName(path);
    int dot = name.lastIndexOf('.');
    if (dot > name.lastIndexOf('/')) name.truncate(dot);
    return name;
}

extern "C" KV_API int32_t kvGetSaveFile(int32_t doc, char *name) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !name) return -1;
    if (!kvDialogsAvailable())
        return kvError(0, "An error occurred while attempting to open the file: %d",
                       KV_DIALOG_FAILURE);
    KvSaveChoice choice{document->formatTag,
                        document->bitsPerSample != 0 ? document->bitsPerSample : 16,
                        document->bitRate, static_cast<KvCodecId>(document->codecDriver)};
    if (document->formatTag == 85 && document->variableBitRate) {
        choice.sourceAverage = document->bitRate;
        choice.saveVariable = true;
    }
    KvSaveDialog dialog(static_cast<QWidget *>(kvEngine.messageWindow), document->current->channels,
                        document->current->sampleRate, choice);
    QString start = kvStartingName(name);
    if (!start.isEmpty()) dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return -1;
    QByteArray chosen = QFile::encodeName(dialog.selectedFiles().first());
    if (chosen.size() > 254)
        return kvError(0, "An error occurred while attempting to open the file: %d",
                       KV_BUFFER_TOO_SMALL);
    std::memcpy(name, chosen.constData(), chosen.size() + 1);
    document->formatTag = dialog.choice.saveFormat;
    document->bitsPerSample = dialog.choice.saveBits;
    document->bitRate = dialog.choice.saveBitRate;
    document->codecDriver = dialog.choice.saveCodec;
    document->variableBitRate = dialog.choice.saveVariable ? 1 : 0;
    return 0;
}

extern "C" KV_API int32_t kvGetSaveFormat(int32_t doc, int32_t *formatTag, int32_t *bits,
                                          int32_t *bitRate) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (formatTag) *formatTag = document->formatTag;
    if (bits) *bits = document->bitsPerSample;
    bool hasSetting = document->formatTag == 85 || kvIsSoundFileFormat(document->formatTag);
    if (bitRate) *bitRate = hasSetting ? document->bitRate : 0;
    return 0;
}

/* The first installed codec that offers `bitRate` for these channels and
 * rate, or null. */
static KvCodecId kvCodecForBitRate(int32_t channels, int32_t rate, int32_t bitRate) {
    for (KvCodecId driver : kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL)) {
        if (!kvAcmDriverIsCodec(driver) || !kvHasFormatTag(driver, 85)) continue;
        for (const KvWaveFormat &format : kvAcmFormats(driver, 85))
            if (format.channels == channels && format.samplesPerSec == rate &&
                format.avgBytesPerSec / 125 == bitRate)
                return driver;
    }
    return nullptr;
}

/* FLAC and AIFF in 16 or 24 bits, FLAC levels 0-8, Vorbis qualities 0-10,
 * Opus at 6-510 kbit/s; -2 when the installed library cannot write it. */
static int32_t kvSetSoundSaveFormat(KV_Document *document, int32_t formatTag, int32_t bits,
                                    int32_t setting) {
    bool lossless = formatTag == KV_FORMAT_FLAC || formatTag == KV_FORMAT_AIFF;
    if (lossless && bits != 16 && bits != 24) return -1;
    if ((formatTag == KV_FORMAT_FLAC && (setting < 0 || setting > 8)) ||
        (formatTag == KV_FORMAT_VORBIS && (setting < 0 || setting > 10)) ||
        (formatTag == KV_FORMAT_OPUS && (setting < 6 || setting > 510)))
        return -1;
    KvSoundEncoding encoding{};
    kvSoundEncodingOf(formatTag, document->current->channels, document->current->sampleRate, bits,
                      setting, &encoding);
    if (!kvSoundCanWrite(encoding)) return -2;
    document->formatTag = formatTag;
    document->bitsPerSample = lossless ? bits : 16;
    document->bitRate = setting;
    document->codecDriver = nullptr;
    return 0;
}

extern "C" KV_API int32_t kvSetSaveFormat(int32_t doc, int32_t formatTag, int32_t bits,
                                          int32_t bitRate) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (formatTag == 85) {
        /* The bit rate read back unchanged keeps a variable one as it is. */
        bool keep =
            document->formatTag == 85 && document->variableBitRate && bitRate == document->bitRate;
        KvCodecId codec =
            keep ? kvFindCodec(document->current->channels, document->current->sampleRate)
                 : kvCodecForBitRate(document->current->channels, document->current->sampleRate,
                                     bitRate);
        if (!codec) return -2;
        document->formatTag = 85;
        document->bitsPerSample = 16;
        document->bitRate = bitRate;
        document->codecDriver = codec;
        document->variableBitRate = keep ? 1 : 0;
        return 0;
    }
    if (kvIsSoundFileFormat(formatTag))
        return kvSetSoundSaveFormat(document, formatTag, bits, bitRate);
    for (const KvAttribute &attribute : kvAttributes) {
        if (attribute.format != formatTag || attribute.bits != bits) continue;
        document->formatTag = formatTag;
        document->bitsPerSample = bits;
        document->codecDriver = nullptr;
        return 0;
    }
    return -1;
}
