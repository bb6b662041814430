// The application object's outward services: the update check, the user manual, the website,
// the support mail and the About box.

#include "KelvoApplication.h"

#include "BundleResources.h"
#include "KelvoInfo.h"
#include "PreferenceKeys.h"
#include "SettingsController.h"
#include "SettingsModel.h"

#include <QAuthenticator>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

// The update server's login: a fixed user and a password made while the program runs.
const QString UpdateServerUser = QStringLiteral("kelvup");

QString updateServerPassword()
{
    const quint32 version = quint32(KELVO_VERSION_MAJOR) << 24 | quint32(KELVO_VERSION_MINOR) << 16
        | quint32(KELVO_VERSION_PATCH) << 8 | quint32(KELVO_VERSION_TWEAK);
    return QString::number(version ^ 0x4b656c76u, 16);
}

// The most of the server's text that is read and shown.
constexpr qint64 MaxReplyBytes = 64 * 1024;

// Text up to the first zero byte.
QString textOf(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
}

bool isWebAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// The same server: scheme, host and port.
bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const int defaultPort = a.scheme() == QLatin1String("https") ? 443 : 80;
    return a.scheme() == b.scheme() && a.host() == b.host()
        && a.port(defaultPort) == b.port(defaultPort);
}

// A box that shows what it is given as it stands, markup included.
QMessageBox* newPlainBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                         const QString& informativeText)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(informativeText);
    // The informative text has a label of its own, which does not follow setTextFormat.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    return box;
}

} // namespace

// ---- The update check -----------------------------------------------------------------------

QString KelvoApplication::preferenceText(const QString& key) const
{
    return m_settingsModel ? m_settingsModel->value(key).toString().trimmed() : QString();
}

void KelvoApplication::checkForUpdate(bool isAutoUpdate)
{
    if (m_pendingReply) {
        // A check asked for by the user while an automatic one is under way shows its result.
        if (!isAutoUpdate)
            m_automaticCheck = false;
        return;
    }
    const QString address = preferenceText(PreferenceKeys::UpdateCheckUrl);
    if (address.isEmpty()) {
        if (!isAutoUpdate && m_settingsModel)
            showUpdateBox(
                tr("No update server is configured."),
                tr("Its address is the setting %1 in %2.")
                    .arg(PreferenceKeys::UpdateCheckUrl,
                         QDir::toNativeSeparators(m_settingsModel->settings()->fileName())),
                nullptr);
        return;
    }
    const QUrl url(address);
    if (!isWebAddress(url)) {
        if (!isAutoUpdate)
            showUpdateBox(tr("Kelvo update check failed\t"),
                          tr("The update server's address is not a web address: %1").arg(address),
                          nullptr);
        return;
    }

    m_automaticCheck = isAutoUpdate;
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        connect(m_network, &QNetworkAccessManager::authenticationRequired, this,
                &KelvoApplication::onNetworkAuthenticationRequired);
    }
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", Kelvo::longVersionString().toUtf8());
    // The login goes to the configured server alone: redirects elsewhere fail.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(m_updateCheckTimeoutMs);
    m_pendingReply = m_network->get(request);
    connect(m_pendingReply, &QNetworkReply::finished, this,
            &KelvoApplication::onNetworkReplyFinished);
}

void KelvoApplication::onNetworkAuthenticationRequired(QNetworkReply* reply,
                                                       QAuthenticator* authenticator)
{
    static const char* const answered = "kelvoCredentialsGiven";
    // Refused once already, or asked by another server: no login, so that the reply ends with
    // an error.
    if (reply != m_pendingReply || reply->property(answered).toBool()
        || authenticator->user() == UpdateServerUser
        || !sameOrigin(QUrl(preferenceText(PreferenceKeys::UpdateCheckUrl)), reply->url()))
        return;
    reply->setProperty(answered, true);
    authenticator->setUser(UpdateServerUser);
    authenticator->setPassword(updateServerPassword());
}

void KelvoApplication::onNetworkReplyFinished()
{
    QNetworkReply* reply = m_pendingReply;
    if (!reply)
        return;
    const bool automatic = m_automaticCheck;
    const QString failed = tr("Kelvo update check failed\t");
    if (reply->error() != QNetworkReply::NoError) {
        if (automatic)
            reply->deleteLater();
        else
            showUpdateBox(failed,
                          tr("%1\n\nCode: %2")
                              .arg(tr("Please check you network configuration and try again."))
                              .arg(int(reply->error())),
                          reply);
        return;
    }
    static const QByteArray latestHeader("lastestVersion");
    if (!reply->hasRawHeader(latestHeader)) {
        // No answer to the question: nothing is learnt.
        if (automatic)
            reply->deleteLater();
        else
            showUpdateBox(failed, tr("The update server did not name a version."), reply);
        return;
    }

    const QString latest = textOf(reply->rawHeader(latestHeader));
    const QString known
        = m_settingsModel->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).toString();
    postPreference(PreferenceKeys::CheckForUpdateLatestKnownVersion, latest);
    // An automatic check tells of each version once, and never of the one running.
    if (automatic && (latest == known || latest == Kelvo::longVersionString())) {
        reply->deleteLater();
        return;
    }
    showUpdateBox(textOf(reply->rawHeader("heading")) + QLatin1Char('\t'),
                  textOf(reply->read(MaxReplyBytes)), reply);
}

void KelvoApplication::showUpdateBox(const QString& text, const QString& informativeText,
                                     QNetworkReply* reply)
{
    QMessageBox* box
        = newPlainBox(QMessageBox::Information, tr("Kelvo Update"), text, informativeText);
    // The next check can start once the box is closed.
    if (reply)
        connect(box, &QDialog::finished, reply, &QObject::deleteLater);
    box->open();
}

// ---- Help -----------------------------------------------------------------------------------

void KelvoApplication::showAppHelp()
{
    openKelvoManual();
}

void KelvoApplication::showAppAbout()
{
    // The splash's picture and texts in a dialog of its own, which has a close button and
    // closes on Escape as any dialog does.
    if (!m_aboutBox) {
        m_aboutBox = new QDialog;
        m_aboutBox->setAttribute(Qt::WA_DeleteOnClose);
        m_aboutBox->setWindowTitle(tr("About Kelvo"));
        auto* form = new QWidget(m_aboutBox);
        Ui_AboutBoxForm about;
        about.setupUi(form);
        about.launchInfoLabel->clear();
        about.versionInfoLabel->setText(Kelvo::shortVersionString());
        form->setStyleSheet(form->styleSheet() + QStringLiteral("QWidget { font-family: Arial; }"));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_aboutBox);
        connect(buttons, &QDialogButtonBox::rejected, m_aboutBox, &QDialog::reject);
        auto* layout = new QVBoxLayout(m_aboutBox);
        layout->addWidget(form);
        layout->addWidget(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        m_aboutBox->show();
    }
    m_aboutBox->activateWindow();
    m_aboutBox->raise();
}

QDialog* KelvoApplication::aboutBox() const
{
    return m_aboutBox;
}

void KelvoApplication::openKelvoManual()
{
    const QString folder = Platform::manualPath();
    const QString index = QDir(folder).filePath(QStringLiteral("index.html"));
    if (!QFileInfo(index).isFile()) {
        newPlainBox(QMessageBox::Warning, tr("Kelvo"), tr("The Kelvo manual is not installed."),
                    tr("It was looked for in %1.").arg(QDir::toNativeSeparators(folder)))
            ->open();
        return;
    }
    // The desktop's opener for the page; where there is none, or it fails (no program for
    // local web pages, say), the user learns where the manual is.
    const auto tellWhere = [index] {
        newPlainBox(QMessageBox::Information, tr("Kelvo"), tr("Kelvo could not open its manual."),
                    tr("Open this file in a web browser: %1").arg(QDir::toNativeSeparators(index)))
            ->open();
    };
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        tellWhere();
        return;
    }
    // No parent: a browser that the opener runs in its place keeps running after Kelvo ends.
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this,
            [process, tellWhere](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0)
                    tellWhere();
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, this,
            [process, tellWhere](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) {
                    tellWhere();
                    process->deleteLater();
                }
            });
    process->start(opener, {index});
}

void KelvoApplication::openKelvoWebsiteUrl()
{
    const QString website = preferenceText(PreferenceKeys::WebsiteUrl);
    if (!website.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(website));
}

void KelvoApplication::openKelvoCommunityUrl()
{
    QString website = preferenceText(PreferenceKeys::WebsiteUrl);
    while (website.endsWith(QLatin1Char('/')))
        website.chop(1);
    if (!website.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(website + QStringLiteral("/community/")));
}

void KelvoApplication::openKelvoSupportUrl()
{
    const QUrl mail = Kelvo::kelvoSupportUrl(preferenceText(PreferenceKeys::SupportMailAddress));
    if (!mail.isEmpty())
        QDesktopServices::openUrl(mail);
}
