// Letters as MIME messages, built and read with GMime.
#include <gmime/gmime.h>

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <mutex>

#include "mail/transport/mail_transfer.h"

namespace pulpex {

namespace {

void GMimeInit() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// GObject references and GLib strings released when the owner goes.
template <class T>
struct GObjectPtr {
    explicit GObjectPtr(T* p = nullptr) : p(p) {}
    ~GObjectPtr() {
        if (p) g_object_unref(p);
    }
    GObjectPtr(const GObjectPtr&) = delete;
    GObjectPtr& operator=(const GObjectPtr&) = delete;
    T* get() const { return p; }
    T* p;
};

struct GCharPtr {
    explicit GCharPtr(char* p) : p(p) {}
    ~GCharPtr() { g_free(p); }
    GCharPtr(const GCharPtr&) = delete;
    GCharPtr& operator=(const GCharPtr&) = delete;
    char* p;
};

QString FromUtf8(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

// Adds the addresses of `text` ("Jan Kowalski <jan@firma.pl>, ...") to `list`, their names
// encoded as UTF-8.
void AddAddresses(InternetAddressList* list, const QString& text) {
    if (text.trimmed().isEmpty()) return;
    const QByteArray utf8 = text.toUtf8();
    GObjectPtr<InternetAddressList> parsed(internet_address_list_parse(nullptr, utf8.constData()));
    if (!parsed.get()) {
        InternetAddress* bare = internet_address_mailbox_new(nullptr, utf8.constData());
        internet_address_list_add(list, bare);
        g_object_unref(bare);
        return;
    }
    const int n = internet_address_list_length(parsed.get());
    for (int i = 0; i < n; ++i) {
        InternetAddress* a = internet_address_list_get_address(parsed.get(), i);
        internet_address_set_charset(a, "utf-8");
        internet_address_list_add(list, a);
    }
}

QString DomainOf(const QString& sender) {
    QString addr = sender;
    const int lt = addr.indexOf(QLatin1Char('<'));
    if (lt >= 0) addr = addr.mid(lt + 1).section(QLatin1Char('>'), 0, 0);
    const QString domain = addr.section(QLatin1Char('@'), 1).trimmed();
    return domain.isEmpty() ? QStringLiteral("localhost") : domain;
}

// The decoded bytes of a leaf part.
QByteArray PartBytes(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return {};
    GObjectPtr<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

// Decoded text of a part; text without a declared charset that is not UTF-8 is taken as CP1250,
// what Polish Windows mail programs send.
QString PartText(GMimeTextPart* part) {
    const char* charset = g_mime_text_part_get_charset(part);
    if (charset && *charset) {
        // An unknown charset comes back unconverted: then it is guessed as below.
        GCharPtr text(g_mime_text_part_get_text(part));
        if (text.p && g_utf8_validate(text.p, -1, nullptr)) return FromUtf8(text.p);
    }
    const QByteArray raw = PartBytes(GMIME_PART(part));
    if (g_utf8_validate(raw.constData(), raw.size(), nullptr)) return QString::fromUtf8(raw);
    gsize written = 0;
    GCharPtr converted(g_convert(raw.constData(), raw.size(), "UTF-8", "WINDOWS-1250", nullptr,
                                 &written, nullptr));
    return converted.p ? QString::fromUtf8(converted.p, static_cast<qsizetype>(written))
                       : QString::fromLatin1(raw);
}

struct BodySearch {
    GMimeTextPart* plain = nullptr;
    GMimeTextPart* html = nullptr;
};

void FindText(GMimeObject*, GMimeObject* part, gpointer data) {
    auto* search = static_cast<BodySearch*>(data);
    if (!GMIME_IS_TEXT_PART(part)) return;
    if (GMimePart* p = GMIME_PART(part); g_mime_part_is_attachment(p)) return;
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (!search->plain && g_mime_content_type_is_type(type, "text", "plain"))
        search->plain = GMIME_TEXT_PART(part);
    else if (!search->html && g_mime_content_type_is_type(type, "text", "html"))
        search->html = GMIME_TEXT_PART(part);
}

struct AttachmentSearch {
    const BodySearch* body = nullptr;
    QList<TMailAttachment>* out = nullptr;
};

// A leaf part other than the text shown is an attachment when it is marked so or carries a file
// name; an inline part without a name (a signature's logo) belongs to the text.
void CollectAttachment(GMimeObject*, GMimeObject* object, gpointer data) {
    auto* search = static_cast<AttachmentSearch*>(data);
    if (!GMIME_IS_PART(object)) return;
    const void* self = object;
    if (self == search->body->plain || self == search->body->html) return;
    GMimePart* part = GMIME_PART(object);
    // GMime decodes RFC 2231 parameters and RFC 2047 words in quoted names alike.
    const char* name = g_mime_part_get_filename(part);
    if (!g_mime_part_is_attachment(part) && !(name && *name)) return;
    TMailAttachment a;
    a.fileName = FromUtf8(name).section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    GCharPtr type(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
    a.mimeType = FromUtf8(type.p).toLower();
    a.data = PartBytes(part);
    search->out->push_back(std::move(a));
}

}  // namespace

QByteArray BuildMessage(const TMailTransfer& letter) {
    GMimeInit();
    GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeMessage* m = message.get();
    AddAddresses(g_mime_message_get_addresses(m, GMIME_ADDRESS_TYPE_TO), letter.recipient);
    AddAddresses(g_mime_message_get_addresses(m, GMIME_ADDRESS_TYPE_FROM), letter.sender);
    g_mime_message_set_subject(m, letter.subject.toUtf8().constData(), "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(m, now);
    g_date_time_unref(now);
    GCharPtr id(g_mime_utils_generate_message_id(DomainOf(letter.sender).toUtf8().constData()));
    g_mime_message_set_message_id(m, id.p);
    g_mime_object_set_header(GMIME_OBJECT(m), "X-Mailer", "Pulpex", nullptr);

    // The text as UTF-8 whatever it holds; quoted-printable only when it needs it.
    QString text = letter.body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray utf8 = text.toUtf8();
    GObjectPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    GObjectPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(utf8.constData(), utf8.size()));
    GObjectPtr<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(part.get()), content.get());
    g_mime_text_part_set_charset(part.get(), "utf-8");
    // Plain 7 bit only for ASCII lines within the 998 characters SMTP allows.
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
                       std::ranges::all_of(utf8.split('\n'), [](const QByteArray& line) {
                           return line.size() <= 998;
                       });
    g_mime_part_set_content_encoding(
        GMIME_PART(part.get()),
        ascii ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    g_mime_message_set_mime_part(m, GMIME_OBJECT(part.get()));

    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GCharPtr out(g_mime_object_to_string(GMIME_OBJECT(m), options));
    g_mime_format_options_free(options);
    return QByteArray(out.p);
}

void ParseMessage(const QByteArray& raw, TMailTransfer& letter) {
    GMimeInit();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    GMimeMessage* m = message.get();
    letter.attachments.clear();
    if (!m) {
        letter.body = QString::fromUtf8(raw);
        return;
    }
    InternetAddressList* from = g_mime_message_get_from(m);
    GCharPtr fromText(internet_address_list_to_string(from, nullptr, FALSE));
    letter.recipient = FromUtf8(fromText.p);
    letter.senderAddress.clear();
    for (int i = 0; i < internet_address_list_length(from); ++i) {
        InternetAddress* a = internet_address_list_get_address(from, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
            letter.senderAddress =
                FromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
            break;
        }
    }
    letter.subject = FromUtf8(g_mime_message_get_subject(m));
    letter.date = FromUtf8(g_mime_object_get_header(GMIME_OBJECT(m), "Date")).trimmed();

    BodySearch search;
    GMimeObject* top = g_mime_message_get_mime_part(m);
    const bool textAttachment =
        top && GMIME_IS_TEXT_PART(top) && g_mime_part_is_attachment(GMIME_PART(top));
    if (top && GMIME_IS_TEXT_PART(top) && !textAttachment) {
        GMimeContentType* type = g_mime_object_get_content_type(top);
        if (g_mime_content_type_is_type(type, "text", "html"))
            search.html = GMIME_TEXT_PART(top);
        else
            search.plain = GMIME_TEXT_PART(top);
    } else if (top && GMIME_IS_MULTIPART(top)) {
        g_mime_multipart_foreach(GMIME_MULTIPART(top), &FindText, &search);
    }
    if (search.plain)
        letter.body = PartText(search.plain);
    else if (search.html)
        letter.body = HtmlToText(PartText(search.html));
    else
        letter.body.clear();
    letter.body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    AttachmentSearch attachments{&search, &letter.attachments};
    if (top && GMIME_IS_MULTIPART(top))
        g_mime_multipart_foreach(GMIME_MULTIPART(top), &CollectAttachment, &attachments);
    else if (top)
        CollectAttachment(nullptr, top, &attachments);
}

QString HtmlToText(const QString& html) {
    QString s = html;
    static const QRegularExpression hidden(
        QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression space(QStringLiteral("\\s+"));
    static const QRegularExpression breaks(
        QStringLiteral("<(br|/p|/div|/li|/tr|/h[1-6]|p|div|li|tr|h[1-6])\\b[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression blankLines(QStringLiteral("\n[ \t]*(\n[ \t]*)+"));
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[a-zA-Z]+);"));
    s.remove(hidden);
    s.replace(space, QStringLiteral(" "));
    s.replace(breaks, QStringLiteral("\n"));
    s.remove(tag);
    // Entities last, so that a decoded "&lt;" is never taken for a tag.
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(s);
    while (it.hasNext()) {
        const auto match = it.next();
        out += s.mid(last, match.capturedStart() - last);
        const QString name = match.captured(1);
        char32_t code = 0;
        if (name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive))
            code = name.mid(2).toUInt(nullptr, 16);
        else if (name.startsWith(QLatin1Char('#')))
            code = name.mid(1).toUInt();
        else if (name == QLatin1String("amp"))
            code = '&';
        else if (name == QLatin1String("lt"))
            code = '<';
        else if (name == QLatin1String("gt"))
            code = '>';
        else if (name == QLatin1String("quot"))
            code = '"';
        else if (name == QLatin1String("apos"))
            code = '\'';
        else if (name == QLatin1String("nbsp"))
            code = ' ';
        if (code && code <= 0x10FFFF)
            out += QString::fromUcs4(&code, 1);
        else
            out += match.captured(0);
        last = match.capturedEnd();
    }
    out += s.mid(last);
    out.replace(blankLines, QStringLiteral("\n\n"));
    QStringList lines = out.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    return lines.join(QLatin1Char('\n')).trimmed();
}

}  // namespace pulpex
