/*
 * cli_steps.h - the steps of a korvel-cli chain: every effect of the editor,
 * the conversions and the output formats, each a row of one table.
 *
 * A step is what one menu command of the editor does: it starts from the
 * stored parameters (what the dialog would open with), takes a stored preset
 * when one is named, then the options given, and runs the same engine call
 * the editor runs. Options are bound to KV_Params fields by offset, with the
 * ranges of the editor's dialogs, so a value the editor cannot give is refused.
 */
#ifndef KV_CLI_STEPS_H
#define KV_CLI_STEPS_H

#include "app/cli/cli_formats.h"
#include "korvel.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <vector>

/* One option of an effect, written into `count` consecutive fields: as many
 * comma-separated values, or one value for all of them. */
struct CliOption {
    const char *name; /* without the leading "--" */
    size_t offset;    /* into KV_Params (KV_RepairParams for a Repair step) */
    int32_t count;    /* fields given as one comma-separated list */
    int32_t lowest;
    int32_t highest;
    const char *help;
};

/* Repair: an edit whose options are KV_RepairParams fields (loudness, noise). */
enum class CliStepKind { Edit, Normalize, PasteMix, SampleRate, Channels, Repair };

struct CliEffect {
    const char *name;
    CliStepKind kind;
    int32_t edit;            /* kvDoEdit number, or the channel count of a conversion */
    const char *presetGroup; /* the editor's preset group, or null */
    size_t presetOffset;
    int32_t presetSize;
    std::vector<CliOption> options;
    const char *summary;
};

/* The table, in the order the help lists it. */
const std::vector<CliEffect> &cliEffects();
const CliEffect *cliFindEffect(const QString &name);

/* A range in times as the status line shows them, or in samples; resolved
 * against a document's rate when the step runs. */
struct CliRange {
    bool given = false;
    QString startText;
    QString endText;
};

/* One step of a chain as parsed (an effect or an output format); values are
 * checked but not yet applied. */
struct CliStep {
    const CliEffect *effect = nullptr;
    const CliFormat *format = nullptr;
    QString preset;
    std::vector<std::pair<const CliOption *, std::vector<int32_t>>> values;
    CliRange range;
    int32_t argument = 0; /* the sample rate of "rate", the target peak of "normalize" */
    int32_t bitRate = 0;  /* "mp3" */
    QString clipPath;     /* "paste-mix" */
};

/* Splits `arguments` into chain steps and the rest (global options and
 * files, in order). Returns an empty string, or the problem with the command
 * line; stops at the first problem. */
QString cliParseChain(const QStringList &arguments, std::vector<CliStep> *steps, QStringList *rest);

/* Parses "START-END" (each a time as the status line writes it, or a sample
 * count): empty string or the problem. */
QString cliParseRange(const QString &text, CliRange *range);

/* Frames from the start of a sound at `rate` for one end of a range: false
 * when the text is not a time or sample count. */
bool cliFramesFromTime(const QString &text, int32_t rate, int64_t *frames);

/* Runs one step on an open document with `params` (the shared record) reset
 * to `stored` first: empty string on success, else what went wrong (the
 * engine's own message has already gone to the error callback). */
QString cliRunStep(int32_t doc, const CliStep &step, KV_Params *params, const KV_Params &stored);

#endif
