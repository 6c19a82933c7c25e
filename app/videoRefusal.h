#pragma once

#include <QString>

// Why a chosen video could not be opened, in words that tell the user what to
// do about it.
const char* videoRefusal(const QString& path);
