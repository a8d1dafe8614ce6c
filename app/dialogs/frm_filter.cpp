/*
 * frm_filter.cpp - the FFT filter dialog.
 *
 * The edge sliders span the bins of the current FFT size (0 ... N/2 - 1 for
 * lower edges, 1 ... N/2 for upper ones) so that every position names a
 * frequency from 0 to half the rate whatever size the options choose. Opening
 * shows the stored frequencies as they are; only a moved slider rewrites its
 * edge, so reopening never shifts a value onto the bin grid.
 */
#include "app/dialogs/frm_filter.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_options.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/shell/mdl_main.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

int32_t mdlFftSize(const KV_Options *options) {
    int32_t size = options->fftSize;
    bool powerOfTwo = size > 0 && (size & (size - 1)) == 0;
    return powerOfTwo && size >= 256 && size <= 8192 ? size : 2048;
}

int32_t mdlFftBinToHz(int32_t bin, int32_t fftSize, int32_t rate) {
    return static_cast<int32_t>(static_cast<int64_t>(bin) * (rate / 2) / (fftSize / 2));
}

int32_t mdlFftHzToBin(int32_t hz, int32_t fftSize, int32_t rate) {
    int64_t half = rate / 2;
    if (hz <= 0 || half <= 0) return 0;
    return static_cast<int32_t>((static_cast<int64_t>(hz) * (fftSize / 2) + half - 1) / half);
}

QString mdlKhzText(int32_t hz) {
    return QString::number(hz / 1000.0, 'f', 1) + " kHz";
}

frmFilter::frmFilter(QWidget *owner, KV_Params *params, KV_Options *options)
    : EffectDialog(owner, params, "frmFilter"), options(options),
      rate(kvGetSampleRate(mdlMain.dialogDoc)) {
    setWindowTitle("FFT Filtering");
    sldStartHighPass = makeEdgeSlider("sldStartHighPass", &params->fftStartHighPassHz);
    sldStartLowPass = makeEdgeSlider("sldStartLowPass", &params->fftStartLowPassHz);
    sldEndHighPass = makeEdgeSlider("sldEndHighPass", &params->fftEndHighPassHz);
    sldEndLowPass = makeEdgeSlider("sldEndLowPass", &params->fftEndLowPassHz);
    auto valueLabel = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(name);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("00.0 kHz"));
        return label;
    };
    lblStartHighPass = valueLabel("lblStartHighPass");
    lblStartLowPass = valueLabel("lblStartLowPass");
    lblEndHighPass = valueLabel("lblEndHighPass");
    lblEndLowPass = valueLabel("lblEndLowPass");

    auto *edges = new QGridLayout;
    edges->addWidget(new QLabel("Lower Edge", this), 0, 1, 1, 2, Qt::AlignHCenter);
    edges->addWidget(new QLabel("Upper Edge", this), 0, 3, 1, 2, Qt::AlignHCenter);
    edges->addWidget(new QLabel("Start:", this), 1, 0);
    edges->addWidget(sldStartHighPass, 1, 1);
    edges->addWidget(lblStartHighPass, 1, 2);
    edges->addWidget(sldStartLowPass, 1, 3);
    edges->addWidget(lblStartLowPass, 1, 4);
    edges->addWidget(new QLabel("End:", this), 2, 0);
    edges->addWidget(sldEndHighPass, 2, 1);
    edges->addWidget(lblEndHighPass, 2, 2);
    edges->addWidget(sldEndLowPass, 2, 3);
    edges->addWidget(lblEndLowPass, 2, 4);

    auto *typeBox = new QGroupBox(this);
    optBandPass = new QRadioButton("Band-Pass Filter", typeBox);
    optBandPass->setObjectName("optBandPass");
    optBandReject = new QRadioButton("Band-Reject Filter", typeBox);
    optBandReject->setObjectName("optBandReject");
    auto *typeColumn = new QVBoxLayout(typeBox);
    typeColumn->addWidget(optBandPass);
    typeColumn->addWidget(optBandReject);
    auto *motionBox = new QGroupBox(this);
    optStatic = new QRadioButton("Static Filter", motionBox);
    optStatic->setObjectName("optStatic");
    optDynamic = new QRadioButton("Dynamic Filter", motionBox);
    optDynamic->setObjectName("optDynamic");
    auto *motionColumn = new QVBoxLayout(motionBox);
    motionColumn->addWidget(optStatic);
    motionColumn->addWidget(optDynamic);
    connect(optBandReject, &QRadioButton::toggled, this,
            [this](bool reject) { mdlStoreParam(this->params->fftFilterType, reject ? 1 : 0); });
    connect(optDynamic, &QRadioButton::toggled, this, [this](bool dynamic) {
        mdlStoreParam(this->params->fftDynamic, dynamic ? 1 : 0);
        showParams();
    });

    cmdFFTSettings = new QPushButton("&FFT Settings...", this);
    cmdFFTSettings->setObjectName("cmdFFTSettings");
    connect(cmdFFTSettings, &QPushButton::clicked, this, &frmFilter::showFFTSettings);
    presets = new ctlPresets(this);
    presets->LoadMenu("FFT Filter", &params->fftStartHighPassHz, 24);
    connect(presets, &ctlPresets::presetLoaded, this, &frmFilter::readParams);

    auto *side = new QVBoxLayout;
    side->addWidget(cmdFFTSettings);
    side->addWidget(presets);
    side->addStretch(1);
    auto *choices = new QHBoxLayout;
    choices->addWidget(typeBox);
    choices->addWidget(motionBox);
    choices->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(edges);
    layout->addLayout(choices);
    layout->addWidget(preview);

    setRanges();
    readParams();
    preview->Init(true, KV_EDIT_FFT_FILTER, kvHelpFftFilter);
}

QSlider *frmFilter::makeEdgeSlider(const QString &name, int32_t *field) {
    QSlider *slider = makeSlider(name, 0, 1, 0, [this, field](int bin) {
        mdlStoreParam(*field, mdlFftBinToHz(bin, mdlFftSize(options), rate));
        showParams();
    });
    slider->setOrientation(Qt::Horizontal);
    slider->setMinimumWidth(160);
    return slider;
}

void frmFilter::setRanges() {
    int32_t half = mdlFftSize(options) / 2;
    for (QSlider *lower : {sldStartHighPass, sldEndHighPass}) {
        QSignalBlocker quiet(lower);
        lower->setRange(0, half - 1);
        lower->setPageStep(half / 32);
    }
    for (QSlider *upper : {sldStartLowPass, sldEndLowPass}) {
        QSignalBlocker quiet(upper);
        upper->setRange(1, half);
        upper->setPageStep(half / 32);
    }
}

void frmFilter::readParams() {
    int32_t size = mdlFftSize(options);
    const std::pair<QSlider *, int32_t> edges[] = {
        {sldStartHighPass, params->fftStartHighPassHz},
        {sldStartLowPass, params->fftStartLowPassHz},
        {sldEndHighPass, params->fftEndHighPassHz},
        {sldEndLowPass, params->fftEndLowPassHz},
    };
    for (const auto &[slider, hz] : edges) {
        QSignalBlocker quiet(slider);
        slider->setValue(mdlFftHzToBin(hz, size, rate));
    }
    {
        QSignalBlocker quietPass(optBandPass), quietReject(optBandReject);
        (params->fftFilterType == 1 ? optBandReject : optBandPass)->setChecked(true);
    }
    {
        QSignalBlocker quietStatic(optStatic), quietDynamic(optDynamic);
        (params->fftDynamic == 1 ? optDynamic : optStatic)->setChecked(true);
    }
    mdlStoreParam(params->fftFilterType, optBandReject->isChecked() ? 1 : 0);
    mdlStoreParam(params->fftDynamic, optDynamic->isChecked() ? 1 : 0);
    showParams();
}

void frmFilter::showParams() {
    lblStartHighPass->setText(mdlKhzText(params->fftStartHighPassHz));
    lblStartLowPass->setText(mdlKhzText(params->fftStartLowPassHz));
    lblEndHighPass->setText(mdlKhzText(params->fftEndHighPassHz));
    lblEndLowPass->setText(mdlKhzText(params->fftEndLowPassHz));
    bool dynamic = params->fftDynamic == 1;
    for (QWidget *end :
         {static_cast<QWidget *>(sldEndHighPass), static_cast<QWidget *>(sldEndLowPass),
          static_cast<QWidget *>(lblEndHighPass), static_cast<QWidget *>(lblEndLowPass)})
        end->setEnabled(dynamic);
}

void frmFilter::showFFTSettings() {
    /* The engine builds its FFT window when a preview starts, so a running
     * preview is restarted to play the new settings. */
    bool previewing = preview->IsPreviewing();
    preview->StopPreview();
    mdlShowOptions(this, options, MDL_OPTIONS_FFT);
    setRanges();
    readParams();
    if (previewing) preview->StartPreview();
}
