#pragma once

#include <QByteArray>
#include <string>

// Why a chosen video could not be opened, in words that tell the user what to
// do about it: what the file system says against it, or else that the decoder
// found no video in it.
std::string videoRefusal(const QByteArray& fileName);
