#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>

class QPushButton;

// The "About" tab: the icon, the name, the version, the tagline, a way to send feedback and the maker's pages.
class AboutSettings final : public QWidget {
    Q_OBJECT

public:
    // What the build says about itself; empty texts are not set.
    struct BuildInfo {
        QString version;
        QString buildNumber;
        QString websiteURL;
        QString supportPageURL;
        QString privacyURL;
        QString copyright;
    };

    AboutSettings(const BuildInfo& info, const QIcon& icon, std::function<void()> sendFeedback,
                  QWidget* parent = nullptr);

    // "Version 1.2 (34)"; a build without a version is 1.0, without a build number 1.
    static QString versionLine(const QString& version, const QString& buildNumber);

    QPushButton* feedbackButton() const { return m_feedback; }

private:
    QPushButton* m_feedback = nullptr;
};
