// Any bytes as a profile group's database ("Profile Groups/<StoreID>.sqlite"), read by the group reader as the
// profile list reads it. The file is the browser's: after the read its bytes are what they were. A read that
// succeeds lists at most memberLimit members, each with a path, no text longer than the reader cuts texts to,
// and reading the same file again gives the same members or fails.
#include "browsers/profile_group_database.h"
#include "fuzz_support.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

QString folder;

// The most UTF-16 units a text of at most 4096 bytes decodes to.
constexpr qsizetype textLimit = 4096;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    folder = Fuzz::setUpSandbox() + u"/.mozilla/firefox/Profile Groups"_s;
    QDir().mkpath(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A write-ahead log or shared memory file left by the last input would be read with this one.
    const QString path = folder + u"/g.sqlite"_s;
    QFile::remove(path + u"-wal"_s);
    QFile::remove(path + u"-shm"_s);
    const QByteArray bytes = Fuzz::bytes(data, size);
    QFile file(path);
    Fuzz::check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the sandbox is writable");
    file.write(bytes);
    file.close();

    const Result<QList<ProfileGroupDatabase::Member>> members = ProfileGroupDatabase::members(path);
    Fuzz::check(contents(path) == bytes, "the database is only read");
    if (!members)
        return 0;
    Fuzz::check(members->size() <= ProfileGroupDatabase::memberLimit, "at most memberLimit members");
    for (const ProfileGroupDatabase::Member& member : members.value()) {
        Fuzz::check(!member.path.isEmpty(), "a member has a path");
        Fuzz::check(member.path.size() <= textLimit && member.name.size() <= textLimit, "texts are cut");
    }
    // A damaged file can read as an empty group once and as damaged the next time in the same process (seen with
    // SQLite 3.40); the profile list treats both alike, as a group without members.
    const Result<QList<ProfileGroupDatabase::Member>> again = ProfileGroupDatabase::members(path);
    Fuzz::check(!again || again.value() == members.value(), "reading again gives the same members");
    return 0;
}
