#include "finicky_config.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace FinickyConfig {

std::optional<QString> locateExisting()
{
    // Finicky reads these places in this order itself; a folder that happens to carry one of the names is not a
    // configuration, so only a file (or a link to one) counts.
    const QDir home = QDir::home();
    for (const QString& relativePath :
         {u".finicky.js"_s, u".config/finicky/finicky.js"_s, u".config/finicky/finicky.ts"_s}) {
        const QString path = home.filePath(relativePath);
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

} // namespace FinickyConfig
