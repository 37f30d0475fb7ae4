#pragma once

#include "platform/file_manager.h"

// org.freedesktop.FileManager1 on the session bus (Nautilus, Dolphin, Nemo, Thunar… implement it, and the bus
// starts the one that is installed), else the default handler for inode/directory.
class GioFileManager final : public FileManager {
public:
    void showItem(const QString& path) override;
};
