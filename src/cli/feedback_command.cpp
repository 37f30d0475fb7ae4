#include "feedback_command.h"

#include "feedback/feedback_records.h"
#include "feedback_http/feedback_request.h"

#include <QEventLoop>
#include <QFile>

#include <cstdio>

using namespace Qt::StringLiterals;

int runFeedbackSend(const CliContext& context, const CommandArguments&)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return context.failure(u"cannot read standard input: "_s + input.errorString());
    const QByteArray record = input.read(FeedbackRecords::submissionLimit + 1);
    if (record.size() > FeedbackRecords::submissionLimit)
        return context.failure(u"the submission on standard input is larger than 4 MiB"_s);
    const Result<FeedbackService::Submission> submission = FeedbackRecords::readSubmission(record);
    if (!submission)
        return context.failure(u"the submission on standard input is not readable: "_s + submission.error());

    // The request always reports, by its deadline at the latest.
    FeedbackRequest request;
    QEventLoop loop;
    FeedbackService::Outcome outcome;
    request.send(*submission, &loop, [&](const FeedbackService::Outcome& ended) {
        outcome = ended;
        loop.quit();
    });
    loop.exec();
    context.out << QString::fromUtf8(FeedbackRecords::outcome(outcome)) << '\n';
    return outcome ? ExitCode::success : ExitCode::failure;
}
