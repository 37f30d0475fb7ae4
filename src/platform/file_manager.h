#pragma once

#include <QString>

// The user's file manager, for showing where a file of Linkherd's is.
class FileManager {
public:
    virtual ~FileManager() = default;

    // Opens a file manager window with the file selected; when no file manager answers, opens the file's folder
    // with the desktop's handler for folders. Returns at once; failures are logged.
    virtual void showItem(const QString& path) = 0;
};
