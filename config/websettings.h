#pragma once

#include <QString>

// The shop board this program serves over HTTP: Configure.xml's one Web
// element, edited in SET. The access token is never part of it: it comes
// from the environment (VEXA_WEB_TOKEN) or the TokenFile.
struct WebSettings
{
    bool Enabled = false;
    QString Listen = QStringLiteral("127.0.0.1"); // another address only when set
    int Port = 8080;
    QString Source = QStringLiteral("fleet"); // "fleet": this program's devices; "broker": the Mqtt broker's
    QString TokenFile;                        // a file only its owner can read

    bool fromBroker() const { return Source == QLatin1String("broker"); }
};

inline bool operator==(const WebSettings &a, const WebSettings &b)
{
    return a.Enabled == b.Enabled && a.Listen == b.Listen && a.Port == b.Port && a.Source == b.Source &&
           a.TokenFile == b.TokenFile;
}

inline bool operator!=(const WebSettings &a, const WebSettings &b)
{
    return !(a == b);
}
