/*
 * frm_record.cpp - the recording window.
 *
 * The window is in one of three states (standing by, recording, playing)
 * and every button handler moves between them, so the buttons ignore
 * presses that do not fit the state. Monitoring runs whenever the window
 * stands by, which is why Play and a device change stop it first and Stop
 * starts it again. The mixer panel is rebuilt for every device chosen, as
 * sound cards differ in their recording sources.
 */
#include "app/dialogs/frm_record.h"
#include "app/dialogs/accessible.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/prompts.h"
#include "message_event.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

/* The status picture: a lamp, lit or dark (recording blinks between the
 * two), or grey when standing by or playing. */
static QPixmap mdlLamp(const QColor &colour) {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(QColor(64, 64, 64));
    painter.drawEllipse(2, 2, 12, 12);
    return picture;
}

std::function<int32_t(int32_t)> frmRecord::deviceCountCall = kvGetDeviceCount;

static const char *const noInputDeviceText = "No audio input device";

static QString mdlDeviceName(const QString &entry) {
    int colon = entry.indexOf(": ");
    return colon < 0 ? entry : entry.mid(colon + 2);
}

frmRecord::frmRecord(QWidget *owner, KV_Options *options, int32_t doc, QLabel *position)
    : QDialog(owner), options(options), doc(doc), position(position) {
    setObjectName("frmRecord");
    setWindowTitle("Standing By");
    cmbDevice = new QComboBox(this);
    cmbDevice->setObjectName("cmbDevice");
    cmbRecMode = new QComboBox(this);
    cmbRecMode->setObjectName("cmbRecMode");
    lblDevice = new QLabel("Recording D&evice:", this);
    lblDevice->setBuddy(cmbDevice);
    lblRecMode = new QLabel("Recording M&ode:", this);
    lblRecMode->setBuddy(cmbRecMode);
    lblNoDevice = new QLabel(this);
    lblNoDevice->setObjectName("lblNoDevice");
    lblNoDevice->setWordWrap(true);
    lblNoDevice->setVisible(false);
    auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    cmdStart = button("cmdStart", "&Record");
    cmdStop = button("cmdStop", "&Stop");
    cmdPlay = button("cmdPlay", "&Play");
    cmdMixer = button("cmdMixer", "&Mixer >>");
    cmdDone = button("cmdDone", "&Done");
    cmdHelp = button("cmdHelp", "&Help");
    cmdStop->setEnabled(false);
    lStatus = new QLabel("Standing By", this);
    lStatus->setObjectName("lStatus");
    picStatus = new QLabel(this);
    picStatus->setObjectName("picStatus");
    picStatus->setPixmap(mdlLamp(Qt::lightGray));
    lTime = new QLabel("00:00.000", this);
    lTime->setObjectName("lTime");
    lTime->setAlignment(Qt::AlignCenter);
    lTime->setAutoFillBackground(true);
    lTime->installEventFilter(this);
    picVU = new QWidget(this);
    picVU->setObjectName("picVU");
    picVU->setAccessibleName("Level Meter");
    picVU->setMinimumSize(240, 24);
    chkAutoStart = new QCheckBox("Start Recording Automatically when Dialog Loads", this);
    chkAutoStart->setObjectName("chkAutoStart");
    chkAutoStart->setChecked(options->recordAutoStart == 1);
    fraMixer = new QGroupBox(this);
    fraMixer->setObjectName("fraMixer");
    fraMixer->setVisible(false);
    tmrRecord = new QTimer(this);
    tmrRecord->setInterval(500);
    tmrPlay = new QTimer(this);
    tmrPlay->setInterval(50);

    auto *lists = new QGridLayout;
    lists->addWidget(lblDevice, 0, 0);
    lists->addWidget(cmbDevice, 0, 1);
    lists->addWidget(lblRecMode, 1, 0);
    lists->addWidget(cmbRecMode, 1, 1);
    lists->addWidget(lblNoDevice, 2, 0, 1, 2);
    auto *status = new QHBoxLayout;
    status->addWidget(picStatus);
    status->addWidget(lStatus, 1);
    auto *left = new QVBoxLayout;
    left->addLayout(lists);
    left->addLayout(status);
    left->addWidget(lTime);
    left->addWidget(picVU);
    left->addWidget(chkAutoStart);
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {cmdStart, cmdStop, cmdPlay, cmdMixer, cmdDone, cmdHelp})
        buttons->addWidget(b);
    buttons->addStretch();
    auto *row = new QHBoxLayout(this);
    row->addLayout(left, 1);
    row->addLayout(buttons);
    row->addWidget(fraMixer);
    mdlNameControls(this);

    connect(cmdStart, &QPushButton::clicked, this, &frmRecord::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmRecord::cmdStop_Click);
    connect(cmdPlay, &QPushButton::clicked, this, &frmRecord::cmdPlay_Click);
    connect(cmdMixer, &QPushButton::clicked, this, &frmRecord::cmdMixer_Click);
    connect(cmdDone, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { mdlShowHelp(this, 1, kvHelpRecord); });
    connect(chkAutoStart, &QCheckBox::toggled, this,
            [this](bool on) { this->options->recordAutoStart = on ? 1 : 0; });
    connect(cmbRecMode, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) this->options->recordMode = index;
    });
    connect(tmrRecord, &QTimer::timeout, this, [this] {
        blink = !blink;
        picStatus->setPixmap(mdlLamp(blink ? QColor(Qt::red) : QColor(96, 0, 0)));
    });
    connect(tmrPlay, &QTimer::timeout, this, [this] {
        if (this->position) lTime->setText(this->position->text());
        if (kvIsPlaying() == 0) {
            tmrPlay->stop();
            cmdStop_Click();
        }
    });
}

void frmRecord::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!loaded) {
        loaded = true;
        Form_Load();
    }
}

void frmRecord::Form_Load() {
    kvSetVUParams(picVU, picVU->width());
    int32_t count = deviceCountCall(1);
    char name[256];
    for (int32_t n = 0; n < count; n++)
        if (kvGetDeviceName(1, n, name, sizeof name) >= 0)
            cmbDevice->addItem(QString("ID %1: %2").arg(n).arg(QString::fromLocal8Bit(name)));
    if (cmbDevice->count() == 0) showNoInputDevice();
    int32_t stored = options->recordDevice;
    cmbDevice->setCurrentIndex(stored >= 0 && stored < cmbDevice->count() ? stored : 0);
    connect(cmbDevice, &QComboBox::currentIndexChanged, this, &frmRecord::cmbDevice_Click);
    cmbDevice_Click(cmbDevice->currentIndex());
    kvUpdateRecTime(doc, this, 0);
    lTime->setText("00:00.000");
    cmbRecMode->addItems({"Insert at End of Selection", "Overwrite Current Selection"});
    cmbRecMode->setCurrentIndex(options->recordMode == 1 ? 1 : 0);
    applyTimeLook();
    if (options->mixerPanelOpen == 1) {
        options->mixerPanelOpen = 0;
        cmdMixer_Click();
    }
    if (options->recordAutoStart == 1) cmdStart_Click();
}

/* An empty list would leave the user guessing: it says what is missing and
 * what to do, and the Record button's own message follows if tried anyway. */
void frmRecord::showNoInputDevice() {
    cmbDevice->setPlaceholderText(noInputDeviceText);
    lblNoDevice->setText(QString("%1. Connect a microphone or sound card, check in your desktop's "
                                 "sound settings that its input is on and not muted, then open "
                                 "this window again. Help, Troubleshooting, has more.")
                             .arg(noInputDeviceText));
    lblNoDevice->setVisible(true);
}

void frmRecord::cmbDevice_Click(int index) {
    setEnabled(false);
    kvRecStop();
    if (index >= 0) options->recordDevice = index;
    kvRecStart(doc);
    setEnabled(true);
    buildMixerPanel();
}

void frmRecord::setStatus(const QString &status) {
    lStatus->setText(status);
    setWindowTitle(status);
}

void frmRecord::setListsEnabled(bool enabled) {
    for (QWidget *part :
         std::initializer_list<QWidget *>{cmbDevice, cmbRecMode, lblDevice, lblRecMode})
        part->setEnabled(enabled);
}

void frmRecord::cmdStart_Click() {
    if (recording || playing) return;
    recording = true;
    cmdStop->setEnabled(true);
    cmdStart->setEnabled(false);
    cmdPlay->setEnabled(false);
    setStatus("Recording");
    tmrRecord->start();
    setListsEnabled(false);
    if (options->recordMode == 1) kvUpdateRecTime(doc, this, 0);
    lTime->setText("00:00.000");
    kvRecord(doc);
}

void frmRecord::cmdStop_Click() {
    QString last = lTime->text();
    tmrRecord->stop();
    tmrPlay->stop();
    if (recording)
        kvStopRecording(doc);
    else if (playing)
        kvStop();
    recording = false;
    playing = false;
    kvRecStart(doc);
    lTime->setText(last);
    setStatus("Standing By");
    picStatus->setPixmap(mdlLamp(Qt::lightGray));
    setListsEnabled(true);
    cmdPlay->setEnabled(true);
    cmdStart->setEnabled(true);
    cmdStop->setEnabled(false);
}

void frmRecord::cmdPlay_Click() {
    if (recording || playing) return;
    playing = true;
    kvRecStop();
    cmdStop->setEnabled(true);
    cmdPlay->setEnabled(false);
    cmdStart->setEnabled(false);
    setListsEnabled(false);
    setStatus("Playing");
    kvPlay(doc, KV_PLAY_NORMAL);
    tmrPlay->start();
}

void frmRecord::cmdMixer_Click() {
    bool open = options->mixerPanelOpen != 1;
    options->mixerPanelOpen = open ? 1 : 0;
    cmdMixer->setText(open ? "&Mixer <<" : "&Mixer >>");
    fraMixer->setVisible(open);
    adjustSize();
}

void frmRecord::buildMixerPanel() {
    delete fraMixer->layout();
    for (QWidget *child : fraMixer->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        delete child;
    mixerControls.clear();
    char title[256] = "";
    int32_t sources = kvMixerOpen(cmbDevice->currentIndex(), title, sizeof title);
    if (sources <= 0) {
        fraMixer->setTitle("No Mixer for " + mdlDeviceName(cmbDevice->currentText()));
        auto *column = new QVBoxLayout(fraMixer);
        auto *none = new QLabel("No Mixer Controls Found for this Audio Device", fraMixer);
        none->setObjectName("lblNoMixer");
        column->addWidget(none);
        column->addStretch();
        return;
    }
    fraMixer->setTitle(QString::fromLocal8Bit(title));
    auto *grid = new QGridLayout(fraMixer);
    for (int32_t n = 0; n < sources; n++) {
        char name[256] = "";
        kvMixerSourceName(n, name, sizeof name);
        auto *slider = new QSlider(Qt::Vertical, fraMixer);
        slider->setRange(0, 100);
        auto *select = new QCheckBox("Select", fraMixer);
        auto *mute = new QCheckBox("Mute", fraMixer);
        int32_t level = kvMixerGet(n, 0), selected = kvMixerGet(n, 1), muted = kvMixerGet(n, 2);
        slider->setValue(std::max(level, 0));
        slider->setEnabled(level >= 0);
        select->setChecked(selected == 1);
        select->setEnabled(selected >= 0);
        mute->setChecked(muted == 1);
        mute->setEnabled(muted >= 0);
        QString source = QString::fromLocal8Bit(name);
        slider->setAccessibleName(source + " Level");
        select->setAccessibleName(source + " Select");
        mute->setAccessibleName(source + " Mute");
        connect(slider, &QSlider::valueChanged, this, [n](int value) { kvMixerSet(n, 0, value); });
        connect(select, &QCheckBox::toggled, this, [n](bool on) { kvMixerSet(n, 1, on ? 1 : 0); });
        connect(mute, &QCheckBox::toggled, this, [n](bool on) { kvMixerSet(n, 2, on ? 1 : 0); });
        grid->addWidget(new QLabel(source, fraMixer), 0, n, Qt::AlignHCenter);
        grid->addWidget(slider, 1, n, Qt::AlignHCenter);
        grid->addWidget(select, 2, n);
        grid->addWidget(mute, 3, n);
        mixerControls.push_back({slider, select, mute});
        for (QWidget *control : mixerControls.back())
            control->installEventFilter(this);
    }
}

/* Ctrl+Left and Ctrl+Right move to the same control of the neighbouring
 * source. */
bool frmRecord::moveAcrossSources(QObject *watched, QKeyEvent *key) {
    if (!(key->modifiers() & Qt::ControlModifier)) return false;
    int step = key->key() == Qt::Key_Left ? -1 : key->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0) return false;
    int count = static_cast<int>(mixerControls.size());
    for (int n = 0; n < count; n++)
        for (int kind = 0; kind < 3; kind++)
            if (mixerControls[n][kind] == watched) {
                int next = n + step;
                if (next >= 0 && next < count) mixerControls[next][kind]->setFocus();
                return true;
            }
    return false;
}

bool frmRecord::event(QEvent *event) {
    if (static_cast<int32_t>(event->type()) != KV_MSG_REC_TIME) return QDialog::event(event);
    auto *message = static_cast<KvMessageEvent *>(event);
    int length = static_cast<int>(std::clamp<intptr_t>(message->lParam, 0, 40));
    lTime->setText(QString::fromLatin1(reinterpret_cast<const char *>(message->wParam), length));
    lTime->repaint();
    return true;
}

bool frmRecord::eventFilter(QObject *watched, QEvent *event) {
    if (watched == lTime && event->type() == QEvent::ContextMenu) {
        timeMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress &&
        moveAcrossSources(watched, static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void frmRecord::timeMenu(const QPoint &at) {
    QMenu menu(this);
    menu.setObjectName("mnuTime");
    struct Choice {
        const char *caption;
        int32_t *field;
        int32_t value;
    };
    const Choice choices[] = {{"Window Colors", &options->recTimeColors, 0},
                              {"3D Colors", &options->recTimeColors, 1},
                              {nullptr, nullptr, 0},
                              {"Small", &options->recTimeSize, 0},
                              {"Large", &options->recTimeSize, 1}};
    for (const Choice &choice : choices) {
        if (!choice.caption) {
            menu.addSeparator();
            continue;
        }
        QAction *entry = menu.addAction(choice.caption);
        entry->setCheckable(true);
        entry->setChecked(*choice.field == choice.value);
        connect(entry, &QAction::triggered, this, [this, choice] {
            *choice.field = choice.value;
            applyTimeLook();
        });
    }
    menu.exec(at);
}

void frmRecord::applyTimeLook() {
    QFont font = this->font();
    if (options->recTimeSize == 1) {
        font.setPointSizeF(font.pointSizeF() * 2.5);
        font.setBold(true);
    }
    lTime->setFont(font);
    QPalette look = palette();
    if (options->recTimeColors == 1) {
        look.setColor(QPalette::Window, look.color(QPalette::Button));
        look.setColor(QPalette::WindowText, look.color(QPalette::ButtonText));
        lTime->setFrameStyle(QFrame::Panel | QFrame::Raised);
    } else {
        look.setColor(QPalette::Window, look.color(QPalette::Base));
        look.setColor(QPalette::WindowText, look.color(QPalette::Text));
        lTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    lTime->setLineWidth(2);
    lTime->setPalette(look);
}

void frmRecord::done(int result) {
    if (recording) {
        cmdStop_Click();
        QApplication::processEvents();
    }
    tmrPlay->stop();
    kvStop();
    kvRecStop();
    kvMixerClose();
    QDialog::done(result);
}
