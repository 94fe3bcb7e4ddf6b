#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "QtPrinters.h"
#include "app/QtDialogServices.h"

namespace {
// Runs `act` on the next modal window of type Widget, once it is open (up to 5 s).
template <typename Widget>
void OnNextModal(std::function<void(Widget*)> act, int triesLeft = 250) {
    QTimer::singleShot(20, [act = std::move(act), triesLeft]() mutable {
        auto* modal = qobject_cast<Widget*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal->isVisible()) return act(modal);
        if (triesLeft > 0) return OnNextModal<Widget>(std::move(act), triesLeft - 1);
        ADD_FAILURE() << "no modal window opened";
        if (QWidget* other = QApplication::activeModalWidget()) other->close();
    });
}

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};
}  // namespace

TEST(QtDialogServices, FiltersBecomeQtNameFiltersInOrder) {
    EXPECT_EQ(QtNameFilters(QStringLiteral(
                  "Certificate File(*.crt)|*.crt|Certificate File(*.cer)|*.cer|Certificate File(*.der)|*.der|")),
              (QStringList{QStringLiteral("Certificate File(*.crt)"), QStringLiteral("Certificate File(*.cer)"),
                           QStringLiteral("Certificate File(*.der)")}));
    EXPECT_EQ(QtNameFilters(QStringLiteral("Key Files (*.key)|*.key|")),
              QStringList{QStringLiteral("Key Files (*.key)")});
    EXPECT_EQ(QtNameFilters(QStringLiteral("Certificates|*.crt;*.cer|All|*.*|")),
              (QStringList{QStringLiteral("Certificates (*.crt *.cer)"), QStringLiteral("All (*.*)")}));
    EXPECT_TRUE(QtNameFilters(QString()).isEmpty());
}

TEST(QtDialogServices, MessageBoxShowsTextCaptionIconAndButtons) {
    QtDialogServices services;
    EXPECT_EQ(MessageBoxIcon(0x10), QMessageBox::Critical);
    EXPECT_EQ(MessageBoxIcon(0x21), QMessageBox::Question);
    EXPECT_EQ(MessageBoxIcon(0x00), QMessageBox::NoIcon);

    OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), QStringLiteral("Sure?"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(services.ShowMessageBox(QStringLiteral("Sure?"), QStringLiteral("Confirm"), 0x31),
              MsgBox::IdCancel);

    OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        box->close();  // the close box of an OK-only box answers OK
    });
    EXPECT_EQ(services.ShowMessageBox(QStringLiteral("Done."), QString(), MsgBox::Ok), MsgBox::IdOk);
}

// While the floating window is shown, boxes and dialogs open over it, which stays on top and
// would cover them otherwise; when it is hidden or absent the owner holds them.
TEST(QtDialogServices, BoxesOpenOverTheFloatingWindowWhileItIsShown) {
    QWidget owner;
    QWidget floating(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    owner.show();
    struct Row {
        bool withFloating;
        bool floatingShown;
    };
    for (const Row& row : {Row{false, true}, Row{true, false}, Row{true, true}}) {
        floating.setVisible(row.floatingShown);
        QtDialogServices services;
        services.SetOwner(&owner, row.withFloating ? &floating : nullptr);
        QWidget* const expected = row.withFloating && row.floatingShown ? &floating : &owner;
        OnNextModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->parentWidget(), expected) << row.withFloating << row.floatingShown;
            box->button(QMessageBox::Ok)->click();
        });
        services.ShowMessageBox(QStringLiteral("Done."), QString(), MsgBox::Ok);
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->parentWidget(), expected) << row.withFloating << row.floatingShown;
            dialog->reject();
        });
        QString path;
        services.ChooseOpenFile(QStringLiteral("Key Files (*.key)|*.key|"), QString(), path);
    }
}

// A box about a passing state comes down unanswered once the state has passed and is not
// shown at all when it has passed already; while the state holds, the button pressed answers.
TEST(QtDialogServices, BoxWhileAStateHoldsIsWithdrawnWhenItPasses) {
    enum class Act { None, Ok, Cancel, StatePasses };
    struct Row {
        bool holdsAtFirst;
        Act act;
        int result;
    };
    const Row rows[] = {
        {false, Act::None, MsgBox::IdWithdrawn},
        {true, Act::StatePasses, MsgBox::IdWithdrawn},
        {true, Act::Ok, MsgBox::IdOk},
        {true, Act::Cancel, MsgBox::IdCancel},
    };
    QtDialogServices services;
    for (const Row& row : rows) {
        bool holds = row.holdsAtFirst;
        bool shown = false;
        bool looked = false;
        QTimer::singleShot(200, [&] {
            looked = true;
            QPointer<QMessageBox> box =
                qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            shown = true;
            if (row.act == Act::StatePasses) {
                holds = false;
                // The box is taken down here; its loop ends once this returns.
                QTest::qWait(500);
                if (!box->isVisible()) return;
                ADD_FAILURE() << "the box stayed after its state passed";
            }
            box->button(row.act == Act::Ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
        });
        EXPECT_EQ(services.ShowMessageBoxWhile(QStringLiteral("Still?"), QString(),
                                               MsgBox::OkCancel | MsgBox::IconExclamation,
                                               [&] { return holds; }),
                  row.result)
            << static_cast<int>(row.act);
        for (int i = 0; i < 100 && !looked; ++i) QTest::qWait(10);
        EXPECT_EQ(shown, row.holdsAtFirst) << static_cast<int>(row.act);
    }
}

TEST(QtDialogServices, OpenDialogStartsInTheFolderWithTheFirstFilterSelected) {
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("server.crt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QtDialogServices services;
    OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dialog->nameFilters().size(), 2);
        EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("Certificate File(*.crt)"));
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("server.crt"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QString path;
    EXPECT_TRUE(services.ChooseOpenFile(
        QStringLiteral("Certificate File(*.crt)|*.crt|Certificate File(*.der)|*.der|"), folder.path(), path));
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(file.fileName()).canonicalFilePath());

    OnNextModal<QFileDialog>([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("key"));
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->reject();
    });
    EXPECT_FALSE(services.ChooseSaveFile(QStringLiteral("Key Files (*.key)|*.key|"), QStringLiteral("key"), path));
}

// Open takes an existing file typed into the name box as Enter does, also one of another
// entry's type than the selected one (a ".der" under "*.crt"), and refuses a missing one.
TEST(QtDialogServices, OpenTakesATypedExistingFileOfAnyEntry) {
    QTemporaryDir folder;
    for (const char* name : {"server.crt", "chain.der"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    struct Row {
        const char* typed;
        bool pasted;  // the whole path at once, else the name key by key
        bool opens;
    };
    const Row rows[] = {{"chain.der", false, true}, {"chain.der", true, true},
                        {"server.crt", false, true}, {"missing.der", true, false}};
    const QString filter = QStringLiteral(
        "Certificate File(*.crt)|*.crt|Certificate File(*.cer)|*.cer|Certificate File(*.der)|*.der|");
    QtDialogServices services;
    for (const Row& row : rows) {
        const QString typed = folder.filePath(QString::fromLatin1(row.typed));
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            if (name == nullptr || buttons == nullptr) {
                ADD_FAILURE() << "not Qt's own dialog";
                return dialog->reject();
            }
            EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("Certificate File(*.crt)"));
            name->setFocus();
            if (row.pasted)
                name->setText(typed);
            else
                QTest::keyClicks(name, QString::fromLatin1(row.typed));
            QTest::qWait(100);
            QPushButton* open = buttons->button(QDialogButtonBox::Open);
            EXPECT_EQ(open->isEnabled(), row.opens) << row.typed << " pasted " << row.pasted;
            QTest::mouseClick(open, Qt::LeftButton);
            QTest::qWait(50);
            if (dialog->isVisible()) dialog->reject();
        });
        QString path;
        EXPECT_EQ(services.ChooseOpenFile(filter, folder.path(), path), row.opens) << row.typed;
        if (row.opens) {
            EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(typed).canonicalFilePath());
        }
    }
}

TEST(QtDialogServices, OpenDocumentOpensTheAbsoluteFileUrl) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QtDialogServices().OpenDocument(QStringLiteral("QuillkitManuals.pdf"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("QuillkitManuals.pdf"))));
}

#include "DialogServicesTest.moc"
