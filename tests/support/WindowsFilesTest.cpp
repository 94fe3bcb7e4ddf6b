// The file calls on Windows, run under wine: wide names, replacing a file, the key's
// owner-only access, folders below a drive.
#include <windows.h>
// clang-format off
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "support/FileCalls.h"
#include "support/Folders.h"
#include "support/SafeFile.h"

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool WriteWhole(const QString& path, const QByteArray& bytes, FileAccess access) {
    SafeFile file;
    return file.Begin(path, access) && file.Write(bytes.constData(), static_cast<size_t>(bytes.size())) &&
           file.Commit();
}

// The SIDs that the file's access list lets in, as strings ("S-1-5-21-...").
QStringList AllowedSids(const QString& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    QStringList sids;
    if (GetNamedSecurityInfoW(reinterpret_cast<LPCWSTR>(path.utf16()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return {QStringLiteral("(no access list)")};
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(sid, &text)) {
            sids << QString::fromWCharArray(text);
            LocalFree(text);
        }
    }
    LocalFree(descriptor);
    return sids;
}

QString CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<char[]> buffer(new char[size]);
    QString result;
    if (GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
            result = QString::fromWCharArray(text);
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return result;
}

}  // namespace

TEST(WindowsFiles, WideNamesAreWrittenWholeAndReplaced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        const char16_t* name;
        bool exists;  // a file of that name is there before
    };
    const Row rows[] = {{u"server.crt", false},
                        {u"Zertifikat-\u00e4\u00f6\u00fc.crt", false},
                        {u"\u043a\u043b\u044e\u0447-\u9375.key", true}};
    for (const Row& row : rows) {
        const QString path = dir.filePath(QString::fromUtf16(row.name));
        if (row.exists) {
            ASSERT_TRUE(WriteWhole(path, QByteArray(5000, 'o'), FileAccess::Usual));
        }
        ASSERT_TRUE(WriteWhole(path, "new contents", FileAccess::Usual)) << path.toStdString();
        EXPECT_EQ(Contents(path), QByteArray("new contents")) << path.toStdString();
    }
    // Only the final names are left: no temporaries beside them.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(WindowsFiles, KeyIsOpenToItsOwnerOnly) {
    QTemporaryDir dir;
    const QString user = CurrentUserSid();
    ASSERT_FALSE(user.isEmpty());
    const QString key = dir.filePath(QStringLiteral("01-server.key"));
    const QString usual = dir.filePath(QStringLiteral("00-server.crt"));
    ASSERT_TRUE(WriteWhole(key, "secret", FileAccess::OwnerOnly));
    ASSERT_TRUE(WriteWhole(usual, "public", FileAccess::Usual));
    EXPECT_EQ(Contents(key), QByteArray("secret"));
    // The user, and no one else but the system itself (which wine, answering from the
    // host's mode bits, names too); a plain file beside it also lets in everyone else.
    QStringList allowed = AllowedSids(key);
    allowed.removeAll(QStringLiteral("S-1-5-18"));
    EXPECT_EQ(allowed.join(u' ').toStdString(), user.toStdString())
        << "a plain file lets in " << AllowedSids(usual).join(u' ').toStdString();
}

TEST(WindowsFiles, FoldersAreMadeBelowADrive) {
    QTemporaryDir dir;
    // A drive-rooted path, as the user types it and with Qt's separators.
    for (const QString& path : {QDir::toNativeSeparators(dir.filePath(QStringLiteral("a/b"))),
                                dir.filePath(QStringLiteral("c/d/e"))}) {
        ASSERT_EQ(path.mid(1, 1), QStringLiteral(":")) << path.toStdString();
        QString reason;
        EXPECT_TRUE(MakeFolders(path, reason)) << path.toStdString() << ": " << reason.toStdString();
        EXPECT_TRUE(QDir(path).exists()) << path.toStdString();
    }
}

// Where a link must not be followed, only a symbolic link or a mount point is refused: the
// files OneDrive keeps in sync are reparse points too, of tags of their own, and so are
// deduplicated and compressed ones. wine makes no reparse points, so the tags are checked as
// values, and the entries wine has as they are.
TEST(WindowsFiles, OnlySymbolicLinksAndMountPointsAreTakenForLinks) {
    const struct {
        const char* kind;
        unsigned long tag;
        bool link;
    } rows[] = {
        {"symbolic link", 0xA000000Cul, true},
        {"mount point", 0xA0000003ul, true},
        {"OneDrive file", 0x9000001Aul, false},
        {"OneDrive file, one of its kinds", 0x9000701Aul, false},
        {"deduplicated file", 0x80000013ul, false},
    };
    for (const auto& row : rows) EXPECT_EQ(IsLinkReparseTag(row.tag), row.link) << row.kind;

    QTemporaryDir dir;
    ASSERT_TRUE(
        WriteWhole(dir.filePath(QStringLiteral("journal.jsonl")), "{}\n", FileAccess::Usual));
    for (const QString& entry : {dir.filePath(QStringLiteral("journal.jsonl")), dir.path()})
        EXPECT_FALSE(IsLinkAt(WidePath(NativeName(entry).constData()))) << entry.toStdString();
}
