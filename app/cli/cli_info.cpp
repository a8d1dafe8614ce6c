/*
 * cli_info.cpp - "korvel-cli info" and "korvel-cli presets".
 *
 * The description is the engine's own (kvGetInfo, as the editor's File
 * Information shows it) taken apart into fields; peak and RMS are measured
 * over every sample of every channel, in dB against full scale, and the
 * loudness of the whole sound by the engine's EBU R128 meter.
 */
#include "app/cli/cli_commands.h"
#include "app/cli/cli_engine.h"
#include "app/cli/cli_formats.h"
#include "app/cli/cli_help.h"
#include "app/cli/cli_steps.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct CliLevels {
    double peak = 0;
    double rms = 0;
};

CliLevels cliMeasure(int32_t doc) {
    CliLevels levels;
    double sum = 0;
    int64_t count = 0;
    std::vector<float> block(65536);
    int32_t length = kvGetLength(doc);
    for (int32_t channel = 0; channel < kvGetChannels(doc); channel++)
        for (int32_t start = 0; start < length; start += int32_t(block.size())) {
            int32_t n = kvReadFrames(doc, channel, start, int32_t(block.size()), block.data());
            for (int32_t i = 0; i < n; i++) {
                levels.peak = std::max(levels.peak, double(std::fabs(block[i])));
                sum += double(block[i]) * block[i];
            }
            count += n;
        }
    levels.rms = count > 0 ? std::sqrt(sum / count) : 0;
    return levels;
}

/* dB against full scale; null for silence. */
QJsonValue cliDecibels(double level) {
    if (level <= 0) return QJsonValue();
    return std::round(200 * std::log10(level)) / 10;
}

/* A loudness figure to one decimal; null when too quiet to measure. */
QJsonValue cliLoudnessValue(double value) {
    if (!std::isfinite(value)) return QJsonValue();
    return std::round(10 * value) / 10;
}

void cliAddLoudness(int32_t doc, QJsonObject *info) {
    KV_Loudness loudness{};
    kvSetSelection(doc, 0, 0, -1);
    if (kvMeasureLoudness(doc, &loudness, sizeof loudness) != 0) return;
    (*info)["loudness_lufs"] = cliLoudnessValue(loudness.integratedLufs);
    (*info)["loudness_range_lu"] = cliLoudnessValue(loudness.rangeLu);
    (*info)["short_term_max_lufs"] = cliLoudnessValue(loudness.shortTermMaxLufs);
    (*info)["true_peak_dbtp"] = cliLoudnessValue(loudness.truePeakDbtp);
}

/* The "Name: value" lines of the engine's description, tags by their names. */
QJsonObject cliDescribe(int32_t doc, const QString &path) {
    std::vector<char> text(16384);
    kvGetInfo(doc, text.data());
    QJsonObject tags;
    for (const QString &line : QString::fromLocal8Bit(text.data()).split('\n')) {
        static const QStringList names = {"Artist", "Album", "Title",  "Year",
                                          "Track",  "Genre", "Comment"};
        QString name = line.section(':', 0, 0);
        QString value = line.section(':', 1).trimmed();
        if (names.contains(name) && !value.isEmpty()) tags[name.toLower()] = value;
    }
    int32_t tag = 0, bits = 0, bitRate = 0;
    kvGetSaveFormat(doc, &tag, &bits, &bitRate);
    const CliFormat *format = cliFormatOf(tag, bits);
    int32_t rate = kvGetSampleRate(doc), length = kvGetLength(doc);
    CliLevels levels = cliMeasure(doc);
    QJsonObject info{{"file", path},
                     {"format", format ? format->name : "unknown"},
                     {"rate", rate},
                     {"channels", kvGetChannels(doc)},
                     {"samples", length},
                     {"seconds", rate > 0 ? double(length) / rate : 0.0},
                     {"peak_db", cliDecibels(levels.peak)},
                     {"rms_db", cliDecibels(levels.rms)},
                     {"id3v2", QByteArray(text.data()).contains("ID3v2 Tag: Yes")},
                     {"tags", tags}};
    if (bitRate > 0) info["bitrate"] = bitRate;
    cliAddLoudness(doc, &info);
    return info;
}

QString cliLevelText(const QJsonValue &db) {
    return db.isNull() ? QString("silent") : QString::number(db.toDouble(), 'f', 1) + " dB";
}

void cliPrintInfo(const QJsonObject &info) {
    QString format = info["format"].toString();
    if (info.contains("bitrate")) format += QString(", %1 kbit/s").arg(info["bitrate"].toInt());
    QString text = info["file"].toString() + "\n";
    text += "  format:   " + format + "\n";
    text += QString("  rate:     %1 Hz\n").arg(info["rate"].toInt());
    text += QString("  channels: %1\n").arg(info["channels"].toInt());
    text += QString("  length:   %1 s (%2 samples)\n")
                .arg(info["seconds"].toDouble(), 0, 'f', 3)
                .arg(info["samples"].toInt());
    text += "  peak:     " + cliLevelText(info["peak_db"]) + "\n";
    text += "  RMS:      " + cliLevelText(info["rms_db"]) + "\n";
    auto figure = [&info](const char *field, const char *unit) {
        QJsonValue value = info[field];
        return value.isNull() ? QString("-inf %1").arg(unit)
                              : QString("%1 %2").arg(value.toDouble(), 0, 'f', 1).arg(unit);
    };
    if (info.contains("loudness_lufs")) {
        text += "  loudness: " + figure("loudness_lufs", "LUFS") + " integrated, range " +
                figure("loudness_range_lu", "LU") + "\n";
        text += "            short-term max " + figure("short_term_max_lufs", "LUFS") +
                ", true peak " + figure("true_peak_dbtp", "dBTP") + "\n";
    }
    QJsonObject tags = info["tags"].toObject();
    for (auto it = tags.begin(); it != tags.end(); ++it)
        text += QString("  %1: %2\n").arg(it.key(), -8).arg(it.value().toString());
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

/* Parses the common options; false after a usage error was printed. */
bool cliParseSimple(const QString &command, const QStringList &arguments,
                    QCommandLineParser *parser, int *status) {
    parser->addOptions({{"json", ""}, {"config", "", "folder"}, {{"h", "help"}, ""}});
    if (!parser->parse(QStringList{"korvel-cli"} + arguments)) {
        *status = cliUsageError(command, parser->errorText());
        return false;
    }
    if (parser->isSet("help")) {
        std::fputs(cliHelpText(command).toLocal8Bit().constData(), stdout);
        *status = cliExitOk;
        return false;
    }
    return true;
}

} // namespace

int cliInfo(const QStringList &arguments) {
    QCommandLineParser parser;
    int status = cliExitOk;
    if (!cliParseSimple("info", arguments, &parser, &status)) return status;
    if (parser.positionalArguments().isEmpty()) return cliUsageError("info", "no files given");
    cliStartEngine(parser.value("config"), nullptr);
    QJsonArray all;
    for (const QString &path : parser.positionalArguments()) {
        int32_t doc = kvCreate(nullptr);
        QByteArray name = path.toLocal8Bit();
        if (doc >= 0 && kvOpen(doc, name.constData()) == 0) {
            QJsonObject info = cliDescribe(doc, path);
            if (parser.isSet("json"))
                all.append(info);
            else
                cliPrintInfo(info);
        } else {
            status = cliExitFailed;
            for (const QString &message : cliTakeEngineMessages())
                std::fprintf(stderr, "%s: %s\n", name.constData(),
                             message.toLocal8Bit().constData());
        }
        if (doc >= 0) kvClose(doc);
    }
    if (parser.isSet("json")) std::fputs(QJsonDocument(all).toJson().constData(), stdout);
    cliStopEngine();
    return status;
}

int cliPresets(const QStringList &arguments) {
    QCommandLineParser parser;
    int status = cliExitOk;
    if (!cliParseSimple("presets", arguments, &parser, &status)) return status;
    QStringList wanted = parser.positionalArguments();
    for (const QString &name : wanted) {
        const CliEffect *effect = cliFindEffect(name);
        if (!effect || !effect->presetGroup)
            return cliUsageError("presets",
                                 QString("'%1' is not an effect with presets").arg(name));
    }
    cliStartEngine(parser.value("config"), nullptr);
    QJsonObject all;
    for (const CliEffect &effect : cliEffects()) {
        if (!effect.presetGroup || (!wanted.isEmpty() && !wanted.contains(effect.name))) continue;
        QJsonArray names;
        for (int32_t i = 0; i < kvGetPresetCount(effect.presetGroup); i++) {
            char buffer[64] = {};
            kvGetPresetName(effect.presetGroup, i, buffer, sizeof buffer - 1);
            names.append(QString::fromLocal8Bit(buffer));
            if (!parser.isSet("json")) std::printf("%s\t%s\n", effect.name, buffer);
        }
        all[effect.name] = names;
    }
    if (parser.isSet("json")) std::fputs(QJsonDocument(all).toJson().constData(), stdout);
    cliStopEngine();
    return cliExitOk;
}
