#include "update/update_reply.h"

#include <QStringDecoder>

#include <utility>

namespace velmora::update {

namespace {

// Up to 255 characters from `start`, cut at the first quotation mark; empty
// when none comes within them.
QString QuotedValue(const QString& line, qsizetype start) {
    const QString window = line.mid(start, 255);
    const qsizetype quote = window.indexOf(u'"');
    return quote < 0 ? QString() : window.left(quote);
}

}  // namespace

UpdateReply ReadUpdateReply(const QStringList& lines, const TTwTagInfo& tags) {
    UpdateReply reply;
    const std::pair<const QString*, QString*> fields[] = {
        {&tags.Author, &reply.Author},
        {&tags.Email, &reply.Email},
        {&tags.ClientFileName, &reply.ClientFileName},
        {&tags.Download, &reply.DownloadURL},
        {&tags.ProductName, &reply.ProductName},
        {&tags.Redirection, &reply.Redirection},
        {&tags.RunParameters, &reply.RunParameters},
        {&tags.Version, &reply.NewVersion},
        {&tags.Date, &reply.NewDate},
        {&tags.ShowURL, &reply.ShowURL},
        {&tags.Manifest, &reply.Manifest},
    };
    for (const QString& line : lines) {
        const qsizetype meta = line.indexOf(QLatin1String("META NAME"));
        if (meta < 0) continue;
        const QString name = QuotedValue(line, meta + 11);
        for (const auto& [tag, field] : fields) {
            if (name != *tag) continue;
            const qsizetype content = line.indexOf(QLatin1String("CONTENT="), 0, Qt::CaseInsensitive);
            *field = content < 0 ? QString() : QuotedValue(line, content + 9);
        }
    }
    return reply;
}

QStringList SplitReplyLines(const QString& reply) {
    QString text = reply;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString DecodeReplyText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(bytes);
    if (utf8.hasError()) decoded = QString::fromLatin1(bytes);
    return decoded;
}

}  // namespace velmora::update
