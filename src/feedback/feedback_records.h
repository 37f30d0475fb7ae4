#pragma once

#include "base/result.h"
#include "feedback_service.h"

#include <QByteArray>

// What goes between the feedback window and the `linkherd feedback send` it starts: the submission on the tool's
// standard input, {"category": "bug", "email": …, "message": …}, and the outcome on its standard output,
// {"sent": true} or {"error": {"host": …, "kind": "server"|"network"|"notConfigured"|"failed", "message": …,
// "status": 500}}. Each is one JSON object; a reader refuses anything else with what is wrong with it.
namespace FeedbackRecords {

// A submission larger than this (a message of megabytes) is refused by the tool.
inline constexpr qint64 submissionLimit = 4 * 1024 * 1024;

QByteArray submission(const FeedbackService::Submission& submission);
Result<FeedbackService::Submission> readSubmission(const QByteArray& record);

QByteArray outcome(const FeedbackService::Outcome& outcome);
Result<FeedbackService::Outcome> readOutcome(const QByteArray& record);

} // namespace FeedbackRecords
