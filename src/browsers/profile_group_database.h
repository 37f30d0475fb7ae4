#pragma once

#include "base/result.h"

#include <QList>
#include <QString>

// The members of one Firefox profile group, from the group's database ("Profile Groups/<StoreID>.sqlite", table
// Profiles). The file belongs to a browser that may have it open: it is opened read-only, never written, and a
// lock is never waited on (a locked, damaged or hostile file is a failure, at once).
namespace ProfileGroupDatabase {

struct Member final {
    QString path; // as the browser wrote it: relative to the profiles root, or absolute
    QString name;

    friend bool operator==(const Member&, const Member&) = default;
};

// At most this many members are read: a real group has a handful.
inline constexpr int memberLimit = 1000;

// The members in the order the browser created them.
Result<QList<Member>> members(const QString& databasePath);

} // namespace ProfileGroupDatabase
