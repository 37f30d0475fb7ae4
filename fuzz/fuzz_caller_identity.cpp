// Any text as a process's /proc/PID/cgroup, its sandbox's /.flatpak-info and its /proc/PID/stat. An application ID
// read from them is a plausible desktop file ID (not empty, no slash, no white space or unprintable character)
// and never Linkherd's own, whatever case it is written in; a parent process ID is never negative.
#include "app_info.h"
#include "fuzz_support.h"
#include "platform/proc/proc_files.h"

#include <algorithm>

namespace {

void checkApplicationID(const std::optional<QString>& id)
{
    if (!id)
        return;
    Fuzz::check(!id->isEmpty(), "an application ID is not empty");
    Fuzz::check(
        std::none_of(id->cbegin(), id->cend(), [](QChar c) { return c == u'/' || c.isSpace() || !c.isPrint(); }),
        "an application ID holds no slash, space or unprintable character");
    Fuzz::check(id->compare(QLatin1StringView(AppInfo::ownDesktopID), Qt::CaseInsensitive) != 0,
                "a caller is never Linkherd itself");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = Fuzz::text(data, size);
    checkApplicationID(ProcFiles::applicationOfCgroup(text));
    checkApplicationID(ProcFiles::applicationOfFlatpakInfo(text));
    if (const std::optional<ProcFiles::Stat> stat = ProcFiles::parseStat(text))
        Fuzz::check(stat->parent >= 0, "a parent process ID is not negative");
    return 0;
}
