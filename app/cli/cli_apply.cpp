/*
 * cli_apply.cpp - "korvel-cli apply": a chain of steps over many files.
 *
 * Every output name is worked out and checked before any file is read, so a
 * wrong command line writes nothing. Files then run one after the other, or
 * in worker processes (-j N), each worker a copy of this program told which
 * one file to do: every engine has its own working folder and documents, and
 * a fault in one file cannot take the others with it.
 */
#include "app/cli/cli_commands.h"
#include "app/cli/cli_engine.h"
#include "app/cli/cli_help.h"
#include "app/cli/cli_progress.h"
#include "app/cli/cli_steps.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <cstdio>
#include <functional>

namespace {

struct CliApplyRequest {
    std::vector<CliStep> steps;
    QStringList inputs;
    QStringList outputs; /* one per input */
    const CliFormat *format = nullptr;
    int32_t bitRate = 0;
    bool overwrite = false; /* --force or --in-place */
    int32_t jobs = 1;
    int32_t worker = -1;
    CliProgressMode mode = CliProgressMode::Quiet;
};

QList<QCommandLineOption> cliApplyOptions() {
    return {
        {{"o", "output"}, "", "file"},
        {"output-dir", "", "folder"},
        {"suffix", "", "text"},
        {"in-place", ""},
        {"force", ""},
        {"format", "", "name"},
        {"bitrate", "", "kbits"},
        {"range", "", "range"},
        {{"j", "jobs"}, "", "n"},
        {{"q", "quiet"}, ""},
        {"config", "", "folder"},
        {{"h", "help"}, ""},
        {"worker", "", "index"},
    };
}

/* The output for one input: empty or the problem. */
QString cliOutputFor(const QCommandLineParser &parser, const CliApplyRequest &request,
                     const QString &input, QString *output) {
    QFileInfo source(input);
    QString extension = request.format ? request.format->extension : source.suffix();
    QString name = source.completeBaseName() + parser.value("suffix") + "." + extension;
    if (parser.isSet("in-place"))
        *output = input;
    else if (parser.isSet("output"))
        *output = parser.value("output");
    else if (parser.isSet("output-dir"))
        *output = QDir(parser.value("output-dir")).filePath(name);
    else
        *output = QDir::cleanPath(source.dir().filePath(name));
    QFileInfo target(*output);
    if (!parser.isSet("in-place") && target.absoluteFilePath() == source.absoluteFilePath() &&
        !parser.isSet("force"))
        return QString("%1 would replace its input: give -o, --output-dir, --suffix, another "
                       "format, or --in-place")
            .arg(input);
    if (request.format && target.suffix().compare(extension, Qt::CaseInsensitive) != 0)
        return QString("%1 does not end in .%2, the extension of %3")
            .arg(*output, extension, request.format->name);
    if (!request.format && !cliFormatForExtension(target.suffix()))
        return QString("no format writes %1: name it .wav, .mp3, .flac, .ogg, .opus or .aif, or "
                       "give --format")
            .arg(*output);
    return {};
}

/* The format the chain or --format asks for; the last one given wins. */
QString cliChooseFormat(const QCommandLineParser &parser, CliApplyRequest *request) {
    if (parser.isSet("format")) {
        request->format = cliFindFormat(parser.value("format"));
        if (!request->format)
            return QString("no format is called '%1'").arg(parser.value("format"));
    }
    if (parser.isSet("bitrate")) {
        bool ok = false;
        request->bitRate = parser.value("bitrate").toInt(&ok);
        if (!ok || request->bitRate <= 0)
            return QString("--bitrate takes kbit/s, not '%1'").arg(parser.value("bitrate"));
    }
    for (const CliStep &step : request->steps) {
        if (!step.format) continue;
        request->format = step.format;
        if (step.bitRate) request->bitRate = step.bitRate;
    }
    return {};
}

/* Checks what only a running engine knows (presets) and what a step needs. */
QString cliCheckSteps(const CliApplyRequest &request) {
    for (const CliStep &step : request.steps) {
        if (!step.effect) continue;
        if (step.effect->kind == CliStepKind::PasteMix && step.clipPath.isEmpty())
            return "paste-mix needs --clip FILE, the sound to mix in";
        if (step.preset.isEmpty()) continue;
        QByteArray name = step.preset.toLocal8Bit();
        if (kvIsNameTaken(step.effect->presetGroup, name.constData()) < 0)
            return QString("%1 has no preset called '%2' (korvel-cli presets %1 lists them)")
                .arg(step.effect->name, step.preset);
    }
    return {};
}

QString cliPlan(const QStringList &arguments, CliApplyRequest *request,
                QCommandLineParser *parser) {
    QStringList rest;
    QString problem = cliParseChain(arguments, &request->steps, &rest);
    if (!problem.isEmpty()) return problem;
    parser->addOptions(cliApplyOptions());
    parser->addPositionalArgument("files", "");
    if (!parser->parse(QStringList{"korvel-cli"} + rest)) return parser->errorText();
    if (parser->isSet("help")) return {};
    CliRange range;
    if (parser->isSet("range") &&
        !(problem = cliParseRange(parser->value("range"), &range)).isEmpty())
        return problem;
    for (CliStep &step : request->steps)
        if (!step.range.given) step.range = range;
    if (!(problem = cliChooseFormat(*parser, request)).isEmpty()) return problem;
    request->inputs = parser->positionalArguments();
    if (request->inputs.isEmpty()) return "no files given";
    if (request->steps.empty()) return "no effect or format given";
    int outputs = parser->isSet("output") + parser->isSet("output-dir") + parser->isSet("in-place");
    if (outputs > 1) return "-o, --output-dir and --in-place exclude each other";
    if (parser->isSet("output") && request->inputs.size() > 1)
        return "-o names one output; give --output-dir or --suffix for many files";
    QSet<QString> seen;
    for (const QString &input : request->inputs) {
        QString output;
        if (!(problem = cliOutputFor(*parser, *request, input, &output)).isEmpty()) return problem;
        QString key = QFileInfo(output).absoluteFilePath();
        if (seen.contains(key)) return QString("two files would be written to %1").arg(output);
        seen.insert(key);
        request->outputs.append(output);
    }
    request->overwrite = parser->isSet("force") || parser->isSet("in-place");
    bool ok = true;
    request->jobs = parser->isSet("jobs") ? parser->value("jobs").toInt(&ok) : 1;
    if (!ok || request->jobs < 1) return QString("-j takes a number of processes");
    if (parser->isSet("worker")) request->worker = parser->value("worker").toInt();
    request->mode = cliChooseProgressMode(parser->isSet("quiet") || request->worker >= 0);
    return {};
}

/* Makes the chosen format (or the one the output's name asks for) the one
 * the document is saved in: empty or the problem. */
QString cliSetFormat(int32_t doc, const CliApplyRequest &request, const QString &output) {
    int32_t tag = 0, bits = 0, bitRate = 0;
    kvGetSaveFormat(doc, &tag, &bits, &bitRate);
    const CliFormat *own = cliFormatOf(tag, bits);
    const CliFormat *format = request.format;
    QString extension = QFileInfo(output).suffix();
    if (!format)
        format = own && extension.compare(own->extension, Qt::CaseInsensitive) == 0
                     ? own
                     : cliFormatForExtension(extension);
    if (request.bitRate)
        bitRate = request.bitRate;
    else if (format != own)
        bitRate = format->setting;
    int32_t result = kvSetSaveFormat(doc, format->formatTag, format->bits, bitRate);
    if (result == -2)
        return QString("no installed encoder writes %1 at %2 kbit/s, %3 Hz, %4 channel(s)")
            .arg(format->name)
            .arg(bitRate)
            .arg(kvGetSampleRate(doc))
            .arg(kvGetChannels(doc));
    return result == 0 ? QString() : QString("%1 cannot be written").arg(format->name);
}

/* Opens, runs the chain, saves: empty or the problem (the engine's words
 * when it has any). */
QString cliProcess(int32_t doc, const CliApplyRequest &request, int32_t index) {
    const QString &input = request.inputs[index];
    const QString &output = request.outputs[index];
    if (!request.overwrite && QFileInfo::exists(output))
        return QString("%1 exists; --force replaces it").arg(output);
    QByteArray inputName = input.toLocal8Bit(), outputName = output.toLocal8Bit();
    if (kvOpen(doc, inputName.constData()) != 0) return "cannot be read";
    CliEngine &engine = cliEngine();
    for (const CliStep &step : request.steps) {
        QString problem = cliRunStep(doc, step, &engine.params, engine.stored);
        if (!problem.isEmpty()) return problem;
    }
    engine.params = engine.stored;
    QString problem = cliSetFormat(doc, request, output);
    if (!problem.isEmpty()) return problem;
    return kvSave(doc, outputName.constData()) == 0 ? QString() : "cannot be saved";
}

/* Runs file `index` in this process; true when it was done. */
bool cliApplyFile(const CliApplyRequest &request, int32_t index) {
    const QString &input = request.inputs[index];
    cliProgressFile(index, QFileInfo(input).fileName());
    int32_t doc = kvCreate(nullptr);
    QString problem = doc < 0 ? "no document is free" : cliProcess(doc, request, index);
    if (doc >= 0) kvClose(doc);
    QStringList said = cliTakeEngineMessages();
    if (!problem.isEmpty()) {
        for (const QString &message : said.isEmpty() ? QStringList{problem} : said)
            cliProgressMessage(input + ": " + message);
    }
    QString result = input + " -> " + request.outputs[index];
    cliProgressDone(result, problem.isEmpty());
    return problem.isEmpty();
}

/* Runs every file in a worker process, at most `jobs` at a time: the count
 * that failed. Workers' messages are passed on whole lines at a time. */
int32_t cliRunWorkers(const QStringList &arguments, const CliApplyRequest &request) {
    int32_t next = 0, running = 0, failed = 0;
    QEventLoop loop;
    std::function<void()> startMore = [&] {
        while (running < request.jobs && next < request.inputs.size()) {
            auto *worker = new QProcess(&loop);
            int32_t index = next++;
            running++;
            auto finish = [&, worker, index](bool ok) {
                for (const QByteArray &line : worker->readAllStandardError().split('\n'))
                    if (!line.isEmpty()) cliProgressMessage(QString::fromLocal8Bit(line));
                if (!ok) failed++;
                cliProgressDone(request.inputs[index] + " -> " + request.outputs[index], ok);
                running--;
                worker->deleteLater();
                startMore();
                if (running == 0) loop.quit();
            };
            QObject::connect(worker, &QProcess::finished, worker,
                             [worker, finish](int code, QProcess::ExitStatus status) {
                                 finish(status == QProcess::NormalExit && code == 0);
                             });
            QObject::connect(worker, &QProcess::errorOccurred, worker,
                             [finish](QProcess::ProcessError error) {
                                 if (error == QProcess::FailedToStart) finish(false);
                             });
            worker->start(QCoreApplication::applicationFilePath(),
                          QStringList{"apply"} + arguments +
                              QStringList{"--worker", QString::number(index)});
        }
    };
    startMore();
    if (running > 0) loop.exec();
    return failed;
}

} // namespace

int cliApply(const QStringList &arguments) {
    CliApplyRequest request;
    QCommandLineParser parser;
    QString problem = cliPlan(arguments, &request, &parser);
    if (!problem.isEmpty()) return cliUsageError("apply", problem);
    if (parser.isSet("help")) {
        std::fputs(cliHelpText("apply").toLocal8Bit().constData(), stdout);
        return cliExitOk;
    }
    if (request.worker >= request.inputs.size()) return cliUsageError("apply", "no such file");
    if (parser.isSet("output-dir")) QDir().mkpath(parser.value("output-dir"));
    cliStartEngine(parser.value("config"), cliProgressReport);
    problem = cliCheckSteps(request);
    if (!problem.isEmpty()) {
        cliStopEngine();
        return cliUsageError("apply", problem);
    }
    int32_t failed = 0;
    if (request.worker >= 0) {
        cliProgressBegin(CliProgressMode::Quiet, 1);
        failed = cliApplyFile(request, request.worker) ? 0 : 1;
    } else if (request.jobs > 1 && request.inputs.size() > 1) {
        cliProgressBegin(request.mode, static_cast<int32_t>(request.inputs.size()));
        failed = cliRunWorkers(arguments, request);
    } else {
        cliProgressBegin(request.mode, static_cast<int32_t>(request.inputs.size()));
        for (int32_t i = 0; i < request.inputs.size(); i++)
            failed += cliApplyFile(request, i) ? 0 : 1;
    }
    cliProgressEnd();
    cliStopEngine();
    return failed == 0 ? cliExitOk : cliExitFailed;
}
