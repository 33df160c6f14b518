#include "window/qt_clipboard.h"

#include <string>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

namespace quirlomat {
namespace {

SecretBytes Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(QtClipboard, StoresUtf8PlainTextMarkedAsSecret) {
    QtClipboard clipboard;
    const std::string password = "P\xC3\xA4\xE2\x82\xAC \xF0\x9F\x98\x80";  // "Pä€ 😀"
    clipboard.SetText(Bytes(password));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(),
              QString::fromUtf8(password.data(), static_cast<qsizetype>(password.size())));
    EXPECT_EQ(data->data(QStringLiteral("text/plain")).toStdString(), password);
    EXPECT_EQ(data->data(QStringLiteral("text/plain;charset=utf-8")).toStdString(), password);

    const QByteArray no(4, '\0');
    const std::pair<QString, QByteArray> markers[] = {
        {QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret")},
        {QStringLiteral("ExcludeClipboardContentFromMonitorProcessing"), no},
        {QStringLiteral("CanIncludeInClipboardHistory"), no},
        {QStringLiteral("CanUploadToCloudClipboard"), no},
        {QStringLiteral("org.nspasteboard.ConcealedType"), QByteArray()},
    };
    for (const auto& [format, value] : markers) {
        EXPECT_TRUE(data->hasFormat(format)) << format.toStdString();
        EXPECT_EQ(data->data(format), value) << format.toStdString();
    }
}

TEST(QtClipboard, ReplacesWhatWasThereAndStoresAnEmptyTextAsText) {
    QtClipboard clipboard;
    clipboard.SetText(Bytes("first"));
    clipboard.SetText(Bytes(""));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasText());
    EXPECT_EQ(data->text(), QString());
    EXPECT_TRUE(data->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));
}

}  // namespace
}  // namespace quirlomat
