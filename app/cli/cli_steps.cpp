/*
 * cli_steps.cpp - the effect table, the chain parser and the running of one
 * step on a document.
 *
 * The chain is parsed by hand before the global options reach
 * QCommandLineParser: effects take options of the same names (--preset,
 * --db), so which effect an option belongs to depends on where it stands.
 * A step owns the options that follow its name until a word that is not one
 * of them; everything else is left for the global parser.
 */
#include "app/cli/cli_steps.h"

#include <QRegularExpression>
#include <cmath>
#include <cstring>

namespace {

constexpr CliOption option(const char *name, size_t offset, int32_t lowest, int32_t highest,
                           const char *help, int32_t count = 1) {
    return {.name = name,
            .offset = offset,
            .count = count,
            .lowest = lowest,
            .highest = highest,
            .help = help};
}

#define CLI_AT(field) offsetof(KV_Params, field)
#define CLI_REPAIR_AT(field) offsetof(KV_RepairParams, field)

/* The noise profile's range, an option that is no field of the record. */
constexpr size_t cliProfileOption = sizeof(KV_RepairParams);

/* The highest frequency a document can hold (half of 96000 Hz). */
constexpr int32_t cliHighestHz = 48000;

std::vector<CliEffect> cliBuildEffects() {
    return {
        {.name = "volume",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_VOLUME,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {option("db", CLI_AT(volumeDb), -48, 48, "gain in dB (6 dB doubles)")},
         .summary = "Volume Change"},
        {.name = "fade-in",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_FADE_IN,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Fade In"},
        {.name = "fade-out",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_FADE_OUT,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Fade Out"},
        {.name = "mute",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_MUTE,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Mute"},
        {.name = "normalize",
         .kind = CliStepKind::Normalize,
         .edit = KV_EDIT_NORMALIZE,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {option("peak", 0, -48, 0,
                            "peak to reach, whole dB; the gain is this less the editor's peak "
                            "scan, in the engine's decibels (default 0)")},
         .summary = "Normalize as the editor does (always the whole sound)"},
        {.name = "eq",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_EQUALIZER,
         .presetGroup = "EQ",
         .presetOffset = CLI_AT(eqBandDb),
         .presetSize = 40,
         .options = {option("bands", CLI_AT(eqBandDb), -24, 24,
                            "ten band gains in dB, lowest first: 0,0,2,...", 10)},
         .summary = "Equalizer"},
        {.name = "reverse",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_REVERSE,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Reverse"},
        {.name = "paste-mix",
         .kind = CliStepKind::PasteMix,
         .edit = KV_EDIT_PASTE_MIX,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {option("db", CLI_AT(pasteMixDb), -48, 48, "gain of the mixed-in sound")},
         .summary = "Paste Mix of the sound in --clip FILE"},
        {.name = "compressor",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_COMPRESSOR,
         .presetGroup = "Compressor",
         .presetOffset = CLI_AT(compThresholdDb),
         .presetSize = 40,
         .options = {option("threshold", CLI_AT(compThresholdDb), -48, 12, "dB"),
                     option("hard-clip", CLI_AT(compHardClipDb), -48, 12, "dB"),
                     option("ratio", CLI_AT(compRatio), 1, 100, "n:1, 100 infinite"),
                     option("attack", CLI_AT(compAttack), 1, 2000, "tenths of a ms"),
                     option("release", CLI_AT(compRelease), 5, 500, "tens of ms"),
                     option("gain", CLI_AT(compGainDb), 0, 48, "make-up gain, dB"),
                     option("enhance", CLI_AT(compEnhance), 0, 10, "amount"),
                     option("soft-knee", CLI_AT(compSoftKnee), 0, 1, "0 or 1"),
                     option("side-chain", CLI_AT(compSideChain), 0, 1, "0 or 1"),
                     option("oversample", CLI_AT(compOversample), 0, 1, "0 or 1")},
         .summary = "Compressor/Limiter"},
        {.name = "echo",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_ECHO,
         .presetGroup = "Echo",
         .presetOffset = CLI_AT(echoFeedbackRtoLDb),
         .presetSize = 64,
         .options = {option("feedback-rl", CLI_AT(echoFeedbackRtoLDb), -48, 0, "dB"),
                     option("left-from-left", CLI_AT(echoLeftFromLeftDb), -48, 12, "dB"),
                     option("left-from-right", CLI_AT(echoLeftFromRightDb), -48, 12, "dB"),
                     option("right-from-left", CLI_AT(echoRightFromLeftDb), -48, 12, "dB"),
                     option("right-from-right", CLI_AT(echoRightFromRightDb), -48, 12, "dB"),
                     option("feedback-lr", CLI_AT(echoFeedbackLtoRDb), -48, 0, "dB"),
                     option("low-pass", CLI_AT(echoLowPass), 50, 1000, "thousandths"),
                     option("high-pass", CLI_AT(echoHighPass), 0, 950, "thousandths"),
                     option("left-delay", CLI_AT(echoLeftDelayMs), 10, 1000, "ms"),
                     option("right-delay", CLI_AT(echoRightDelayMs), 10, 1000, "ms"),
                     option("dry-left", CLI_AT(echoDryLeftDb), -48, 12, "dB"),
                     option("wet-left", CLI_AT(echoWetLeftDb), -48, 12, "dB"),
                     option("wet-right", CLI_AT(echoWetRightDb), -48, 12, "dB"),
                     option("dry-right", CLI_AT(echoDryRightDb), -48, 12, "dB"),
                     option("bounce", CLI_AT(echoBounce), 0, 1, "0 or 1")},
         .summary = "Echo (stereo sounds; both channels)"},
        {.name = "reverb",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_REVERB,
         .presetGroup = "Reverb",
         .presetOffset = CLI_AT(reverbLevelDb),
         .presetSize = 36,
         .options = {option("levels", CLI_AT(reverbLevelDb), -48, 12,
                            "six levels in dB, left/right pairs", 6),
                     option("room", CLI_AT(reverbRoomSize), 0, 5, "room size, 0-5"),
                     option("wall", CLI_AT(reverbWall), 0, 3, "wall material, 0-3")},
         .summary = "Reverb (stereo sounds; both channels)"},
        {.name = "simple-echo",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_SIMPLE_ECHO,
         .presetGroup = "Simple Echo",
         .presetOffset = CLI_AT(simpleEchoDelayMs),
         .presetSize = 16,
         .options = {option("delay", CLI_AT(simpleEchoDelayMs), 10, 1000, "ms"),
                     option("feedback", CLI_AT(simpleEchoFeedbackDb), -48, 0, "dB"),
                     option("wet", CLI_AT(simpleEchoWetDb), -48, 0, "dB"),
                     option("low-pass", CLI_AT(simpleEchoLowPass), 2, 100, "hundredths")},
         .summary = "Simple Echo"},
        {.name = "distortion",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_DISTORTION,
         .presetGroup = "Distortion",
         .presetOffset = CLI_AT(distHighClipDb),
         .presetSize = 8,
         .options = {option("high-clip", CLI_AT(distHighClipDb), -90, 0, "dB"),
                     option("low-threshold", CLI_AT(distLowThresholdDb), -96, -6, "dB")},
         .summary = "Distortion"},
        {.name = "fft-filter",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_FFT_FILTER,
         .presetGroup = "FFT Filter",
         .presetOffset = CLI_AT(fftStartHighPassHz),
         .presetSize = 24,
         .options = {option("from", CLI_AT(fftStartHighPassHz), 0, cliHighestHz,
                            "band's lower edge, Hz"),
                     option("end-from", CLI_AT(fftEndHighPassHz), 0, cliHighestHz,
                            "lower edge at the end (dynamic), Hz"),
                     option("to", CLI_AT(fftStartLowPassHz), 0, cliHighestHz,
                            "band's upper edge, Hz"),
                     option("end-to", CLI_AT(fftEndLowPassHz), 0, cliHighestHz,
                            "upper edge at the end (dynamic), Hz"),
                     option("reject", CLI_AT(fftFilterType), 0, 1, "1 band-reject, 0 band-pass"),
                     option("dynamic", CLI_AT(fftDynamic), 0, 1, "1 edges move to the end values")},
         .summary = "FFT Filter"},
        {.name = "tone",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_TONE,
         .presetGroup = "Tone Generator",
         .presetOffset = CLI_AT(toneVolumeDb),
         .presetSize = 28,
         .options = {option("volume", CLI_AT(toneVolumeDb), -48, 48, "dB"),
                     option("freq", CLI_AT(toneStartHz), 10, cliHighestHz, "Hz"),
                     option("end-freq", CLI_AT(toneEndHz), 10, cliHighestHz, "Hz (sweep)"),
                     option("sweep", CLI_AT(toneSweep), 0, 1, "0 or 1"),
                     option("waveform", CLI_AT(toneWaveform), 0, 3,
                            "0 sine, 1 sawtooth, 2 triangle, 3 square"),
                     option("length", CLI_AT(toneLength), 1, KV_LONGEST_TONE_MS, "in --unit"),
                     option("unit", CLI_AT(toneLengthUnit), 0, 2, "0 ms, 1 s, 2 min")},
         .summary = "Tone Generator (at the start of the range)"},
        {.name = "pitch",
         .kind = CliStepKind::Edit,
         .edit = KV_EDIT_PITCH,
         .presetGroup = "Pitch",
         .presetOffset = CLI_AT(pitchStart),
         .presetSize = 16,
         .options = {option("percent", CLI_AT(pitchStart), 50, 200,
                            "factor in percent, start and end", 2),
                     option("start", CLI_AT(pitchStart), 50, 200, "factor at the start, percent"),
                     option("end", CLI_AT(pitchEnd), 50, 200, "factor at the end, percent"),
                     option("dynamic", CLI_AT(pitchDynamic), 0, 1, "1 glides start to end"),
                     option("mode", CLI_AT(pitchMode), 0, 2,
                            "0 resample, 1 FFT pitch, 2 FFT time")},
         .summary = "Pitch/Time Scaling"},
        {.name = "rate",
         .kind = CliStepKind::SampleRate,
         .edit = 0,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "rate HZ: Convert Sample Rate (4000-96000)"},
        {.name = "mono",
         .kind = CliStepKind::Channels,
         .edit = 1,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Convert to mono (both channels at half level)"},
        {.name = "stereo",
         .kind = CliStepKind::Channels,
         .edit = 2,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {},
         .summary = "Convert to stereo"},
        {.name = "loudness",
         .kind = CliStepKind::Repair,
         .edit = KV_EDIT_LOUDNESS_NORMALIZE,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {option("target", CLI_REPAIR_AT(loudnessTarget), -700, -50,
                            "integrated loudness, tenths of LUFS (-160: -16 LUFS)"),
                     option("ceiling", CLI_REPAIR_AT(loudnessCeiling), -200, 0,
                            "true-peak ceiling, tenths of dBTP (-10: -1 dBTP)")},
         .summary = "Loudness Normalize (EBU R128) with a true-peak limiter"},
        {.name = "denoise",
         .kind = CliStepKind::Repair,
         .edit = KV_EDIT_NOISE_REDUCTION,
         .presetGroup = nullptr,
         .presetOffset = 0,
         .presetSize = 0,
         .options = {option("profile", cliProfileOption, 0, INT32_MAX,
                            "start,end in ms of noise alone (default: the first second)", 2),
                     option("reduction", CLI_REPAIR_AT(noiseReductionDb), 0, 48, "dB"),
                     option("sensitivity", CLI_REPAIR_AT(noiseSensitivity), 0, 24, "dB"),
                     option("smoothing", CLI_REPAIR_AT(noiseSmoothing), 0, 16, "bins"),
                     option("attack", CLI_REPAIR_AT(noiseAttackMs), 0, 500, "ms"),
                     option("release", CLI_REPAIR_AT(noiseReleaseMs), 0, 2000, "ms")},
         .summary = "Noise Reduction, the noise profile taken from --profile"},
    };
}

#undef CLI_REPAIR_AT
#undef CLI_AT

} // namespace

const std::vector<CliEffect> &cliEffects() {
    static const std::vector<CliEffect> effects = cliBuildEffects();
    return effects;
}

const CliEffect *cliFindEffect(const QString &name) {
    for (const CliEffect &effect : cliEffects())
        if (name == QLatin1String(effect.name)) return &effect;
    return nullptr;
}

namespace {

const CliOption *cliFindOption(const CliEffect &effect, const QString &name) {
    for (const CliOption &candidate : effect.options)
        if (name == QLatin1String(candidate.name)) return &candidate;
    return nullptr;
}

/* The option names a step takes besides its effect's own. */
bool cliStepTakes(const CliStep &step, const QString &name) {
    if (step.format) return step.format->hasBitRate && name == "bitrate";
    if (name == "range")
        return step.effect->kind == CliStepKind::Edit || step.effect->kind == CliStepKind::PasteMix;
    if (name == "preset") return step.effect->presetGroup != nullptr;
    if (name == "clip") return step.effect->kind == CliStepKind::PasteMix;
    return cliFindOption(*step.effect, name) != nullptr;
}

bool cliParseInt(const QString &text, int32_t *value) {
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

QString cliParseValues(const CliOption &option, const QString &text, std::vector<int32_t> *values) {
    QStringList parts = text.split(',');
    if (parts.size() != 1 && parts.size() != option.count)
        return QString("--%1 takes %2 values separated by commas, not %3")
            .arg(option.name)
            .arg(option.count)
            .arg(parts.size());
    for (const QString &part : parts) {
        int32_t value = 0;
        if (!cliParseInt(part, &value) || value < option.lowest || value > option.highest)
            return QString("--%1 takes whole numbers from %2 to %3, not '%4'")
                .arg(option.name)
                .arg(option.lowest)
                .arg(option.highest)
                .arg(part);
        values->push_back(value);
    }
    if (values->size() == 1) values->resize(option.count, values->front());
    return {};
}

/* Takes option `name` with its value into the step: empty or the problem. */
QString cliTakeOption(CliStep *step, const QString &name, const QString &value) {
    if (name == "range") return cliParseRange(value, &step->range);
    if (name == "preset") {
        step->preset = value;
        return {};
    }
    if (name == "clip") {
        step->clipPath = value;
        return {};
    }
    if (name == "bitrate")
        return cliParseInt(value, &step->bitRate) && step->bitRate > 0
                   ? QString()
                   : QString("--bitrate takes kbit/s, not '%1'").arg(value);
    const CliOption *option = cliFindOption(*step->effect, name);
    std::vector<int32_t> values;
    QString problem = cliParseValues(*option, value, &values);
    if (problem.isEmpty()) step->values.emplace_back(option, values);
    return problem;
}

/* The value a step's positional argument ("rate 48000") must have. */
QString cliTakeArgument(CliStep *step, const QString &text) {
    if (!cliParseInt(text, &step->argument) || step->argument < 4000 || step->argument > 96000)
        return QString("rate takes a sample rate from 4000 to 96000 Hz, not '%1'").arg(text);
    return {};
}

} // namespace

QString cliParseChain(const QStringList &arguments, std::vector<CliStep> *steps,
                      QStringList *rest) {
    CliStep *open = nullptr; /* the step that may still take options */
    for (qsizetype i = 0; i < arguments.size(); i++) {
        const QString &word = arguments[i];
        if (word == "--") {
            *rest += arguments.mid(i);
            return {};
        }
        if (word.startsWith("--") && open) {
            QString name = word.mid(2).section('=', 0, 0);
            if (cliStepTakes(*open, name)) {
                QString value;
                if (word.contains('='))
                    value = word.section('=', 1);
                else if (i + 1 < arguments.size())
                    value = arguments[++i];
                else
                    return QString("%1 needs a value").arg(word);
                QString problem = cliTakeOption(open, name, value);
                if (!problem.isEmpty()) return problem;
                continue;
            }
        }
        const CliEffect *effect = cliFindEffect(word);
        const CliFormat *format = cliFindFormat(word);
        if (effect || format) {
            CliStep step;
            step.effect = effect;
            step.format = format;
            steps->push_back(step);
            open = &steps->back();
            if (effect && effect->kind == CliStepKind::SampleRate) {
                if (i + 1 >= arguments.size()) return "rate needs a sample rate";
                QString problem = cliTakeArgument(open, arguments[++i]);
                if (!problem.isEmpty()) return problem;
            }
            continue;
        }
        open = nullptr;
        rest->append(word);
        /* A global option's value stays with it, so it is never taken for
         * an effect's name. */
        static const QStringList valued = {"-o",       "--output",  "--output-dir", "--suffix",
                                           "--format", "--bitrate", "--range",      "-j",
                                           "--jobs",   "--config"};
        if (valued.contains(word) && i + 1 < arguments.size()) rest->append(arguments[++i]);
    }
    return {};
}

QString cliParseRange(const QString &text, CliRange *range) {
    int dash = text.indexOf('-');
    if (dash < 0) return QString("a range is START-END, not '%1'").arg(text);
    range->given = true;
    range->startText = text.left(dash).trimmed();
    range->endText = text.mid(dash + 1).trimmed();
    int64_t ignored = 0;
    for (const QString &end : {range->startText, range->endText})
        if (!end.isEmpty() && !cliFramesFromTime(end, 44100, &ignored))
            return QString("'%1' is not a time (00:01.500, 1.5s, 1500ms) or a sample count")
                .arg(end);
    return {};
}

bool cliFramesFromTime(const QString &text, int32_t rate, int64_t *frames) {
    static const QRegularExpression samples("^(\\d+)\\s*(smp)?$");
    static const QRegularExpression millis("^(\\d+)\\s*ms$");
    static const QRegularExpression seconds("^(\\d+)(?:\\.(\\d{1,3}))?\\s*s$");
    static const QRegularExpression formatted("^(?:(\\d+):)?(\\d+):(\\d{1,2})(?:\\.(\\d{1,3}))?$");
    QString trimmed = text.trimmed();
    QRegularExpressionMatch match;
    int64_t ms = 0;
    auto fraction = [](const QString &digits) { return digits.leftJustified(3, '0').toLongLong(); };
    if ((match = samples.match(trimmed)).hasMatch()) {
        *frames = match.captured(1).toLongLong();
        return true;
    }
    if ((match = millis.match(trimmed)).hasMatch())
        ms = match.captured(1).toLongLong();
    else if ((match = seconds.match(trimmed)).hasMatch())
        ms = match.captured(1).toLongLong() * 1000 + fraction(match.captured(2));
    else if ((match = formatted.match(trimmed)).hasMatch())
        ms = ((match.captured(1).toLongLong() * 60 + match.captured(2).toLongLong()) * 60 +
              match.captured(3).toLongLong()) *
                 1000 +
             fraction(match.captured(4));
    else
        return false;
    *frames = ms * rate / 1000;
    return true;
}

namespace {

/* Selects the step's range (the whole sound without one): empty or the problem. */
QString cliSelectRange(int32_t doc, const CliRange &range) {
    int64_t length = kvGetLength(doc), start = 0, end = length;
    int32_t rate = kvGetSampleRate(doc);
    if (range.given) {
        if (!range.startText.isEmpty()) cliFramesFromTime(range.startText, rate, &start);
        if (!range.endText.isEmpty()) cliFramesFromTime(range.endText, rate, &end);
        end = std::min(end, length);
        if (start >= end)
            return QString("the range %1-%2 holds nothing of this sound (%3 samples)")
                .arg(range.startText, range.endText)
                .arg(length);
    }
    kvSetSelection(doc, static_cast<int32_t>(start), static_cast<int32_t>(end), -1);
    return {};
}

/* Puts the sound of `path` on the engine's clipboard: empty or the problem. */
QString cliCopyClip(const QString &path) {
    int32_t clip = kvCreate(nullptr);
    if (clip < 0) return "no document is free for the clip";
    QByteArray name = path.toLocal8Bit();
    bool opened = kvOpen(clip, name.constData()) == 0;
    if (opened) {
        kvSetSelection(clip, 0, kvGetLength(clip), -1);
        kvCopy(clip);
    }
    kvClose(clip);
    return opened ? QString() : QString("the clip %1 cannot be read").arg(path);
}

/* The editor's Normalize: the peak scan selects the whole sound, and a
 * level of 0 dB runs no edit. */
int32_t cliNormalize(int32_t doc, const CliStep &step, KV_Params *params) {
    int32_t target = step.values.empty() ? 0 : step.values.front().second.front();
    int32_t peak = kvScanMax(doc);
    params->normalizeDb = std::clamp(target - peak, -48, 48);
    return params->normalizeDb != 0 ? kvDoEdit(doc, KV_EDIT_NORMALIZE) : 0;
}

void cliApplyValues(const CliStep &step, KV_Params *params) {
    char *record = reinterpret_cast<char *>(params);
    if (!step.preset.isEmpty()) {
        QByteArray name = step.preset.toLocal8Bit();
        int32_t index = kvIsNameTaken(step.effect->presetGroup, name.constData());
        kvLoadPreset(step.effect->presetGroup, index, record + step.effect->presetOffset,
                     step.effect->presetSize);
    }
    for (const auto &[option, values] : step.values)
        std::memcpy(record + option->offset, values.data(), values.size() * sizeof(int32_t));
}

/* Takes the noise profile from [startMs, endMs): empty or the problem. */
QString cliTakeProfile(int32_t doc, int64_t startMs, int64_t endMs) {
    int64_t rate = kvGetSampleRate(doc);
    int64_t start = std::min<int64_t>(startMs * rate / 1000, kvGetLength(doc));
    int64_t end = std::min<int64_t>(endMs * rate / 1000, kvGetLength(doc));
    kvSetSelection(doc, static_cast<int32_t>(start), static_cast<int32_t>(end), -1);
    if (kvTakeNoiseProfile(doc) == 0) return {};
    return QString("no noise profile from %1-%2 ms: give --profile START,END over a longer "
                   "stretch of noise alone")
        .arg(startMs)
        .arg(endMs);
}

/* Loudness Normalize and Noise Reduction: the stored repair record with the
 * options given over it, handed to the engine for this step. */
QString cliRunRepair(int32_t doc, const CliStep &step) {
    static KV_RepairParams repair;
    kvSetRepairParams(&repair, sizeof repair);
    std::vector<int32_t> profile = {0, 1000};
    char *record = reinterpret_cast<char *>(&repair);
    for (const auto &[option, values] : step.values) {
        if (option->offset == cliProfileOption)
            profile = values;
        else
            std::memcpy(record + option->offset, values.data(), values.size() * sizeof(int32_t));
    }
    if (step.effect->edit == KV_EDIT_NOISE_REDUCTION) {
        QString problem = cliTakeProfile(doc, profile[0], profile[1]);
        if (!problem.isEmpty()) return problem;
    }
    QString problem = cliSelectRange(doc, step.range);
    if (!problem.isEmpty()) return problem;
    return kvDoEdit(doc, step.effect->edit) == 0
               ? QString()
               : QString("%1 did not run").arg(step.effect->summary);
}

} // namespace

QString cliRunStep(int32_t doc, const CliStep &step, KV_Params *params, const KV_Params &stored) {
    *params = stored;
    if (step.format) return {};
    const CliEffect &effect = *step.effect;
    switch (effect.kind) {
    case CliStepKind::SampleRate:
        return kvConvertSampleRate(doc, step.argument) == 0
                   ? QString()
                   : QString("cannot convert to %1 Hz").arg(step.argument);
    case CliStepKind::Channels:
        kvConvertChannels(doc, effect.edit);
        return {};
    case CliStepKind::Normalize:
        return cliNormalize(doc, step, params) == 0 ? QString() : "Normalize did not run";
    case CliStepKind::Repair:
        return cliRunRepair(doc, step);
    case CliStepKind::PasteMix:
    case CliStepKind::Edit:
        break;
    }
    if ((effect.edit == KV_EDIT_ECHO || effect.edit == KV_EDIT_REVERB) && kvGetChannels(doc) != 2)
        return QString("%1 needs a stereo sound: put 'stereo' before it").arg(effect.name);
    cliApplyValues(step, params);
    QString problem = cliSelectRange(doc, step.range);
    if (problem.isEmpty() && effect.kind == CliStepKind::PasteMix)
        problem = cliCopyClip(step.clipPath);
    if (!problem.isEmpty()) return problem;
    if (effect.edit == KV_EDIT_VOLUME && params->volumeDb == 0) return {};
    return kvDoEdit(doc, effect.edit) == 0 ? QString()
                                           : QString("%1 did not run").arg(effect.summary);
}
