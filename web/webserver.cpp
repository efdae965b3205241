#include "web/webserver.h"

#include "config/translations.h"
#include "link/statetable.h"
#include "mqtt/mqttformat.h"
#include "web/board.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <memory>
#include <microhttpd.h>
#include <netinet/in.h>

// The pages are in this library's resource bundle, which nothing else in a
// static library's user references.
static void initWebResources()
{
    Q_INIT_RESOURCE(web);
}

namespace Web {

namespace {

constexpr char HtmlType[] = "text/html; charset=utf-8";
constexpr char JsonType[] = "application/json; charset=utf-8";
constexpr char TextType[] = "text/plain; charset=utf-8";

// The texts of the pages, Chinese with their English in the translations.
struct PageText
{
    const char *key;
    const char *text;
};
const PageText PageTexts[] = {
    {"title", QT_TRANSLATE_NOOP("WebBoard", "车间看板")},
    {"utilization", QT_TRANSLATE_NOOP("WebBoard", "利用率")},
    {"lost", QT_TRANSLATE_NOOP("WebBoard", "连接中断")},
    {"byState", QT_TRANSLATE_NOOP("WebBoard", "按状态")},
    {"byName", QT_TRANSLATE_NOOP("WebBoard", "按名称")},
    {"order", QT_TRANSLATE_NOOP("WebBoard", "排序")},
    {"reason", QT_TRANSLATE_NOOP("WebBoard", "停机原因")},
    {"today", QT_TRANSLATE_NOOP("WebBoard", "今日状态")},
    {"operations", QT_TRANSLATE_NOOP("WebBoard", "最近的写入和删除")},
    {"noOperations", QT_TRANSLATE_NOOP("WebBoard", "本次运行以来没有写入或删除")},
    {"time", QT_TRANSLATE_NOOP("WebBoard", "时间")},
    {"kind", QT_TRANSLATE_NOOP("WebBoard", "操作")},
    {"target", QT_TRANSLATE_NOOP("WebBoard", "对象")},
    {"result", QT_TRANSLATE_NOOP("WebBoard", "结果")},
    {"bytes", QT_TRANSLATE_NOOP("WebBoard", "字节")},
    {"ok", QT_TRANSLATE_NOOP("WebBoard", "成功")},
    {"failed", QT_TRANSLATE_NOOP("WebBoard", "失败")},
    {"write-program", QT_TRANSLATE_NOOP("WebBoard", "写入程序")},
    {"write-file", QT_TRANSLATE_NOOP("WebBoard", "写入文件")},
    {"delete-program", QT_TRANSLATE_NOOP("WebBoard", "删除程序")},
    {"back", QT_TRANSLATE_NOOP("WebBoard", "返回看板")},
    {"unknown", QT_TRANSLATE_NOOP("WebBoard", "没有这台机床")},
};

QByteArray textsJson(int language)
{
    QJsonObject states;
    for (int code = 0; code < StateTable::Count; ++code)
        states.insert(MqttFormat::stateWord(code),
                      Translations::text("StateLook", StateTable::Texts[code], language));
    QJsonObject texts{{QStringLiteral("states"), states}};
    for (const PageText &text : PageTexts)
        texts.insert(QLatin1String(text.key), Translations::text("WebBoard", text.text, language));
    return QJsonDocument(texts).toJson(QJsonDocument::Compact);
}

QByteArray statesCss()
{
    QByteArray css = ":root {\n";
    for (int code = 0; code < StateTable::Count; ++code)
        css += "  --" + MqttFormat::stateWord(code).toLatin1() + ": " + StateTable::Colours[code] + ";\n";
    return css + "}\n";
}

struct Response
{
    unsigned status = MHD_HTTP_OK;
    QByteArray body;
    QByteArray type = TextType;
    bool stream = false;
    bool html = false;
};

Response plain(unsigned status, const char *text)
{
    Response response;
    response.status = status;
    response.body = QByteArray(text) + '\n';
    return response;
}

// One reader of the event stream, in its connection's thread.
struct Stream
{
    Board *board;
    std::shared_ptr<Board::Listener> listener;
    QByteArray pending;
};

ssize_t readStream(void *cls, uint64_t, char *buffer, size_t max)
{
    auto *stream = static_cast<Stream *>(cls);
    if (stream->pending.isEmpty()) {
        stream->pending = stream->listener->next(WebServer::HeartbeatMs);
        if (stream->pending.isEmpty())
            return MHD_CONTENT_READER_END_OF_STREAM;
    }
    const int size = int(std::min<size_t>(max, size_t(stream->pending.size())));
    std::memcpy(buffer, stream->pending.constData(), size_t(size));
    stream->pending.remove(0, size);
    return size;
}

void freeStream(void *cls)
{
    auto *stream = static_cast<Stream *>(cls);
    stream->board->unlisten(stream->listener);
    delete stream;
}

QByteArray value(MHD_Connection *connection, MHD_ValueKind kind, const char *key)
{
    const char *text = MHD_lookup_connection_value(connection, kind, key);
    return text ? QByteArray(text) : QByteArray();
}

struct Sizes
{
    int bytes = 0;
};

MHD_Result addSize(void *cls, MHD_ValueKind, const char *key, const char *text)
{
    static_cast<Sizes *>(cls)->bytes += int(std::strlen(key)) + (text ? int(std::strlen(text)) : 0) + 4;
    return MHD_YES;
}

bool tooLarge(MHD_Connection *connection, const char *url)
{
    Sizes query;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &addSize, &query);
    Sizes headers;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &addSize, &headers);
    return int(std::strlen(url)) + query.bytes > WebServer::MaxUrlBytes ||
           headers.bytes > WebServer::MaxHeaderBytes;
}

bool hasBody(MHD_Connection *connection)
{
    const QByteArray length = value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return (!length.isNull() && length.trimmed() != "0") ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
}

} // namespace

struct WebServer::Handler
{
    static MHD_Result onRequest(void *cls, MHD_Connection *connection, const char *url, const char *method,
                                const char *, const char *, size_t *uploadSize, void **state)
    {
        static int answered;
        *uploadSize = 0; // a body is never read; the request was answered at its headers
        if (*state)
            return MHD_YES;
        *state = &answered;
        auto *server = static_cast<WebServer *>(cls);
        const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        Response response;
        bool setCookie = false;
        if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0) {
            response = plain(MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed");
        } else if (hasBody(connection) || tooLarge(connection, url)) {
            response = plain(MHD_HTTP_BAD_REQUEST, "Bad Request");
        } else if (!authorized(server, connection, &setCookie)) {
            response = plain(MHD_HTTP_UNAUTHORIZED, "Unauthorized");
        } else {
            response = answer(server, connection, QByteArray(url));
            setCookie = setCookie && response.html;
        }
        return send(server, connection, response, head, setCookie);
    }

    static bool authorized(const WebServer *server, MHD_Connection *connection, bool *fromQuery)
    {
        *fromQuery = false;
        if (server->m_options.token.isEmpty())
            return true;
        const QByteArray authorization = value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
        if (authorization.startsWith("Bearer ") &&
            sameToken(authorization.mid(7).trimmed(), server->m_options.token))
            return true;
        const QByteArray query = value(connection, MHD_GET_ARGUMENT_KIND, "token");
        if (!query.isNull() && sameToken(query, server->m_options.token)) {
            *fromQuery = true;
            return true;
        }
        const QByteArray cookie = value(connection, MHD_COOKIE_KIND, "vexa_token");
        return !cookie.isNull() &&
               sameToken(QByteArray::fromPercentEncoding(cookie), server->m_options.token);
    }

    static Response answer(const WebServer *server, MHD_Connection *connection, const QByteArray &path)
    {
        Response response;
        if (path == "/" || (path.startsWith("/machine/") && path.size() > 9 && path.indexOf('/', 9) < 0)) {
            const QByteArray lang = value(connection, MHD_GET_ARGUMENT_KIND, "lang");
            const bool english = lang == "en" || (lang != "zh" && server->m_options.language == 1);
            response.body = server->m_assets.value(path == "/" ? "board.html" : "machine.html");
            response.body.replace("@LANG@", english ? "en" : "zh");
            response.type = HtmlType;
            response.html = true;
        } else if (path == "/events") {
            response.type = "text/event-stream; charset=utf-8";
            response.stream = true;
        } else if (path == "/api/fleet") {
            response.body = server->m_board->fleetJson();
            response.type = JsonType;
        } else if (path.startsWith("/api/machine/")) {
            response.body = server->m_board->machineJson(QString::fromUtf8(path.mid(13)));
            response.type = JsonType;
            if (response.body.isEmpty())
                return plain(MHD_HTTP_NOT_FOUND, "Not Found");
        } else if (server->m_assets.contains(path) && path.startsWith('/')) {
            response.body = server->m_assets.value(path);
            response.type = server->m_assetTypes.value(path);
        } else {
            return plain(MHD_HTTP_NOT_FOUND, "Not Found");
        }
        return response;
    }

    static MHD_Result send(const WebServer *server, MHD_Connection *connection, const Response &answer,
                           bool head, bool setCookie)
    {
        MHD_Response *response = nullptr;
        if (answer.stream && !head) {
            auto *stream =
                new Stream{server->m_board, server->m_board->listen(), QByteArrayLiteral("retry: 3000\n\n")};
            response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, size_t(16) * 1024, &readStream, stream,
                                                         &freeStream);
        } else {
            response = MHD_create_response_from_buffer(size_t(answer.body.size()),
                                                       const_cast<char *>(answer.body.constData()),
                                                       MHD_RESPMEM_MUST_COPY);
        }
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.type.constData());
        MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'");
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        if (answer.status == MHD_HTTP_METHOD_NOT_ALLOWED)
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        if (answer.status == MHD_HTTP_UNAUTHORIZED)
            MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
        if (setCookie) {
            const QByteArray cookie = "vexa_token=" + server->m_options.token.toPercentEncoding() +
                                      "; HttpOnly; SameSite=Strict; Path=/";
            MHD_add_response_header(response, MHD_HTTP_HEADER_SET_COOKIE, cookie.constData());
        }
        const MHD_Result queued = MHD_queue_response(connection, answer.status, response);
        MHD_destroy_response(response);
        return queued;
    }
};

WebServer::WebServer(Board *board) : m_board(board)
{
    loadAssets();
}

WebServer::~WebServer()
{
    stop();
}

void WebServer::loadAssets()
{
    initWebResources();
    const struct
    {
        const char *path;
        const char *file;
        const char *type;
    } files[] = {
        {"/assets/board.js", ":/web/board.js", "text/javascript; charset=utf-8"},
        {"/assets/machine.js", ":/web/machine.js", "text/javascript; charset=utf-8"},
        {"/assets/board.css", ":/web/board.css", "text/css; charset=utf-8"},
        {"/assets/icon.png", ":/web/icon.png", "image/png"},
        {"/favicon.ico", ":/web/icon.png", "image/png"},
        {"board.html", ":/web/board.html", HtmlType},
        {"machine.html", ":/web/machine.html", HtmlType},
    };
    for (const auto &file : files) {
        QFile resource(QString::fromLatin1(file.file));
        if (resource.open(QIODevice::ReadOnly))
            m_assets.insert(file.path, resource.readAll());
        m_assetTypes.insert(file.path, file.type);
    }
    m_assets.insert("/assets/states.css", statesCss());
    m_assetTypes.insert("/assets/states.css", "text/css; charset=utf-8");
    m_assets.insert("/assets/texts-zh.json", textsJson(0));
    m_assets.insert("/assets/texts-en.json", textsJson(1));
    m_assetTypes.insert("/assets/texts-zh.json", JsonType);
    m_assetTypes.insert("/assets/texts-en.json", JsonType);
}

bool WebServer::start(const Options &options, QString *error)
{
    stop();
    m_options = options;
    m_board->open();
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr *address = nullptr;
    bool ok = false;
    const quint32 ip4 = options.address.toIPv4Address(&ok);
    if (ok) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(options.port);
        v4.sin_addr.s_addr = htonl(ip4);
        address = reinterpret_cast<const sockaddr *>(&v4);
    } else if (options.address.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(options.port);
        const Q_IPV6ADDR ip6 = options.address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &ip6, sizeof ip6);
        address = reinterpret_cast<const sockaddr *>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        *error = QStringLiteral("not an address: %1").arg(options.address.toString());
        return false;
    }
    m_daemon =
        MHD_start_daemon(flags, options.port, nullptr, nullptr, &Handler::onRequest, this,
                         MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_CONNECTION_LIMIT, unsigned(MaxClients),
                         MHD_OPTION_CONNECTION_TIMEOUT, TimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
                         size_t(32) * 1024, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_END);
    if (!m_daemon) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void WebServer::stop()
{
    if (!m_daemon)
        return;
    m_board->close(); // the streams end, so their threads can be joined
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

quint16 WebServer::port() const
{
    if (!m_daemon)
        return 0;
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

int WebServer::clients() const
{
    const MHD_DaemonInfo *info =
        m_daemon ? MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS) : nullptr;
    return info ? int(info->num_connections) : 0;
}

bool WebServer::sameToken(const QByteArray &a, const QByteArray &b)
{
    // Digests of equal length, compared without an early end: the time
    // tells nothing of the token, not even its length.
    const QByteArray x = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray y = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (int i = 0; i < x.size(); ++i)
        difference |= static_cast<unsigned char>(x.at(i) ^ y.at(i));
    return difference == 0 && !a.isEmpty();
}

} // namespace Web
