#pragma once

#include <QString>

// The file name to propose for a download the server called serverName: only its
// last part after any '/' or '\', without control or formatting characters, leading
// dots or outer blanks, at most 255 bytes; "download" when nothing is left. Never a
// path, so joined to a folder it stays inside it.
QString cleanDownloadName(const QString &serverName);

// The folder a download is proposed in: the desktop's download folder, made for the
// user alone (0700) where it does not exist yet, so that the save dialog opens in it;
// the home folder where it cannot be made. Never a relative path.
QString downloadFolder();
