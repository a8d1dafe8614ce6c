/*
 * cli_help.cpp - the help texts. The lists of effects, their options and
 * the formats are written from their tables, so the help never lists an
 * effect or a format the program does not have.
 */
#include "app/cli/cli_help.h"
#include "app/cli/cli_steps.h"

#include <QRegularExpression>

namespace {

const char *cliOverview =
    "Usage: korvel-cli COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Korvel's engine for batch work: the editor's effects, conversions and presets\n"
    "over many files, with exactly the results the editor gives.\n"
    "\n"
    "Commands:\n"
    "  info FILE...              format, rate, channels, length, levels, loudness, tags\n"
    "  apply STEP... FILE...     run a chain of effects and conversions, then save\n"
    "  presets [EFFECT...]       list the editor's stored presets\n"
    "  help [COMMAND]            this help, or a command's\n"
    "\n"
    "Every command takes --config FOLDER to use another settings store than the\n"
    "editor's ($KORVEL_CONFIG_HOME, else $XDG_CONFIG_HOME/korvel, else ~/.config/korvel).\n"
    "\n"
    "Example:\n"
    "  korvel-cli apply normalize --peak -1 mp3 --bitrate 192 takes/*.wav\n";

const char *cliExitText = "Exit status:\n"
                          "  0  every file was done\n"
                          "  1  some file failed (its name and the reason are on standard\n"
                          "     error); the other files were done\n"
                          "  2  the command line was wrong; nothing was read or written\n";

const char *cliInfoText =
    "Usage: korvel-cli info [--json] FILE...\n"
    "\n"
    "Describes each file: format, sample rate, channels, length, peak and RMS level\n"
    "(dB against full scale, over all channels), loudness (EBU R128: integrated\n"
    "LUFS, loudness range, short-term maximum and true peak) and its ID3 tags.\n"
    "\n"
    "  --json            one JSON array of objects, for scripts\n"
    "  --config FOLDER   settings store to use\n"
    "\n"
    "Example:\n"
    "  korvel-cli info --json interview.mp3\n";

const char *cliPresetsText = "Usage: korvel-cli presets [--json] [EFFECT...]\n"
                             "\n"
                             "Lists the presets stored by the editor's effect dialogs, one\n"
                             "\"EFFECT<tab>NAME\" line each, for every effect or those named.\n"
                             "\n"
                             "  --json            one JSON object: effect -> names\n"
                             "  --config FOLDER   settings store to use\n"
                             "\n"
                             "Example:\n"
                             "  korvel-cli presets eq reverb\n";

const char *cliApplyText =
    "Usage: korvel-cli apply STEP [OPTIONS]... FILE... [-o OUT | --output-dir DIR | --in-place]\n"
    "\n"
    "Runs the steps in the order given on each file, then saves it. A step's options\n"
    "follow its name; an effect starts from the settings the editor's dialog would\n"
    "show, then takes --preset NAME (a preset stored in the editor), then the options\n"
    "given. Effects work on the whole sound, or on --range START-END given after the\n"
    "effect (for it alone) or among the other options (for every effect). START and\n"
    "END are times as the status line shows them (00:01.500, 1.500s, 1500ms) or\n"
    "sample counts (66150 or 66150smp); either may be left out.\n"
    "\n"
    "Output:\n"
    "  -o, --output FILE      the output of a single input\n"
    "  --output-dir DIR       outputs in DIR, under the input's name\n"
    "  --suffix TEXT          added to the output's name (take.wav -> take-loud.wav)\n"
    "  --in-place             replace each input, through a safe save\n"
    "  --force                replace outputs that exist (never done without it)\n"
    "  --format NAME          output format (else from the output's extension, keeping\n"
    "                         the input's format when the extension is its own)\n"
    "  --bitrate KBITS        MP3 bit rate (else the input's, or 128)\n"
    "  Without -o, --output-dir or --in-place the output goes beside the input, named\n"
    "  with --suffix or with the extension of a new format.\n"
    "\n"
    "Running:\n"
    "  -j, --jobs N           N files at a time, each in its own process\n"
    "  -q, --quiet            only error messages (a progress bar is drawn on a\n"
    "                         terminal, one line per file otherwise)\n"
    "  --config FOLDER        settings store to use\n";

const char *cliApplyExamples =
    "Examples:\n"
    "  korvel-cli apply normalize --peak -1 mp3 --bitrate 192 takes/*.wav\n"
    "  korvel-cli apply eq --preset Voice fade-in --range 0-2s episode.wav -o out.wav\n"
    "  korvel-cli apply rate 48000 mono float *.wav --output-dir converted -j 2\n";

QString cliStepsText() {
    QString text = "Effects and conversions:\n";
    for (const CliEffect &effect : cliEffects()) {
        text += QString("  %1 %2\n").arg(effect.name, -14).arg(effect.summary);
        if (effect.presetGroup) text += QString("      --preset NAME        a stored preset\n");
        if (effect.kind == CliStepKind::PasteMix)
            text += QString("      --clip FILE          the sound to mix in\n");
        for (const CliOption &option : effect.options)
            text += QString("      --%1 %2..%3: %4\n")
                        .arg(option.name, -18)
                        .arg(option.lowest)
                        .arg(option.highest)
                        .arg(option.help);
    }
    text += "\nFormats (a step, or --format NAME):\n";
    for (const CliFormat &format : cliFormats())
        text += QString("  %1 .%2  %3\n")
                    .arg(format.name, -14)
                    .arg(format.extension, -4)
                    .arg(format.summary);
    return text;
}

} // namespace

QString cliHelpText(const QString &command) {
    if (command == "apply")
        return QString(cliApplyText) + "\n" + cliStepsText() + "\n" + cliExitText + "\n" +
               cliApplyExamples;
    if (command == "info") return QString(cliInfoText) + "\n" + cliExitText;
    if (command == "presets") return QString(cliPresetsText) + "\n" + cliExitText;
    return QString(cliOverview) + "\n" + cliExitText;
}

/* Each help paragraph whose first line ends in ':' (or starts "Usage:")
 * becomes a section; the rest stays as it is laid out, unfilled. */
QString cliManPage() {
    auto escape = [](QString line) {
        line.replace('\\', "\\e").replace('-', "\\-");
        if (line.startsWith('.') || line.startsWith('\'')) line.prepend("\\&");
        return line;
    };
    QString page =
        ".TH KORVEL-CLI 1 \"\" \"Korvel\" \"User Commands\"\n"
        ".SH NAME\nkorvel\\-cli \\- batch processing with the Korvel sound editor's engine\n";
    const QList<std::pair<QString, QString>> parts = {
        {"SYNOPSIS", cliHelpText("")},
        {"INFO", cliHelpText("info")},
        {"APPLY", cliHelpText("apply")},
        {"PRESETS", cliHelpText("presets")},
    };
    for (const auto &[title, text] : parts) {
        page += ".SH " + title + "\n.nf\n";
        for (const QString &line : text.split('\n'))
            page += escape(line) + "\n";
        page += ".fi\n";
    }
    page += ".SH SEE ALSO\nkorvel(1)\n";
    return page;
}
