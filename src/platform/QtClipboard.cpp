#include "platform/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

bool QtClipboard::setSecretText(const QString& text)
{
    auto* mime = new QMimeData;
    mime->setText(text);
    // Clipboard managers of KDE and others skip content that carries this hint.
    mime->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    return true;
}

QString QtClipboard::text() const
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

bool QtClipboard::clear()
{
    // Taking the selection with an empty text, rather than giving it up, leaves nothing
    // for a clipboard manager to rescue when the owner goes.
    auto* mime = new QMimeData;
    mime->setText(QString());
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    return true;
}
