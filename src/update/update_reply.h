#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "update/web_update_settings.h"

namespace velmora::update {

// What an information reply tells, by META tag.
struct UpdateReply {
    QString NewVersion, NewDate, DownloadURL, ClientFileName, Redirection, Author, Email, ProductName, RunParameters,
        ShowURL, Manifest;
};

// Reads the META tags of a reply, one per line: «<META NAME="wuVersion"
// CONTENT="3.0.0.52">». "META NAME" is matched with its letter case,
// "CONTENT=" without; names and values end at the next quotation mark within
// 255 characters (a longer value reads as empty). A later tag of the same
// name wins; every other line is ignored.
UpdateReply ReadUpdateReply(const QStringList& lines, const TTwTagInfo& tags);

// The text of a reply's bytes: UTF-8 when they are valid UTF-8, else Latin-1.
QString DecodeReplyText(const QByteArray& bytes);

// Splits a reply at CR, LF or CR LF.
QStringList SplitReplyLines(const QString& reply);

}  // namespace velmora::update
