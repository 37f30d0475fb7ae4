// Any bytes as a Chromium browser's "Local State", read through the profile reader the way the chooser and the
// rules window read it (a real file in the browser's folder). The profiles come sorted by name, each directory
// once; looking a profile up by its name or its directory finds a profile with that name
// or directory. A reader for another browser family's files gets a target like this one: write the file where
// the reader looks, then check what it lists.
#include "browsers/browser_profiles.h"
#include "browsers/localized_compare.h"
#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace {

const QString browser = QStringLiteral("google-chrome");

QString localStatePath()
{
    static const QString path = []() -> QString {
        const QString folder = *BrowserProfiles::userDataDirectory(browser);
        QDir().mkpath(folder);
        return folder + QStringLiteral("/Local State");
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::setUpSandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile file(localStatePath());
    Fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the sandbox is writable");
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    const QList<BrowserProfiles::Profile> listed = BrowserProfiles::profiles(browser);
    QSet<QString> directories;
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const BrowserProfiles::Profile& profile = listed[i];
        Fuzz::check(!directories.contains(profile.directory), "each directory is listed once");
        directories.insert(profile.directory);
        if (i > 0)
            Fuzz::check(!localizedLessThan(profile.name, listed[i - 1].name), "profiles are sorted by name");
        const std::optional<QString> byName = BrowserProfiles::directoryOf(profile.name, browser);
        Fuzz::check(byName && std::any_of(listed.cbegin(), listed.cend(),
                                          [&](const BrowserProfiles::Profile& other) {
                                              return other.directory == *byName && other.name == profile.name;
                                          }),
                    "a profile's name finds a profile of that name");
        const QString name = BrowserProfiles::profileName(profile.directory, browser);
        Fuzz::check(std::any_of(listed.cbegin(), listed.cend(),
                                [&](const BrowserProfiles::Profile& other) {
                                    return other.directory == profile.directory && other.name == name;
                                }),
                    "a profile's directory finds its name");
    }
    return 0;
}
