#pragma once

#include "feedback/feedback_service.h"

#include <QObject>

#include <chrono>
#include <functional>

class QNetworkAccessManager;

// The HTTPS POST of one feedback submission to the support endpoint (SupportEndpoint): the body and signature
// FeedbackService makes, certificates always verified, redirects not followed. QtNetwork, which only the
// `linkherd` tool links; the feedback window reaches this through `linkherd feedback send`. Main thread; the
// network work is Qt's.
class FeedbackRequest final : public QObject {
    Q_OBJECT

public:
    using Outcome = FeedbackService::Outcome;

    explicit FeedbackRequest(QObject* parent = nullptr);
    ~FeedbackRequest() override;

    // Sends the submission and reports on the main thread, always later than this call returns and within the
    // deadline, through done. When context goes first, the request is aborted and its connection let go:
    // nothing is reported.
    void send(const FeedbackService::Submission& submission, QObject* context,
              std::function<void(const Outcome&)> done);

    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

private:
    QNetworkAccessManager* m_network = nullptr;
    std::chrono::milliseconds m_deadline = FeedbackService::defaultDeadline;
};
