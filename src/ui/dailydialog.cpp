#include "dailydialog.h"

#include "daily/dailywallpaper.h"
#include "model/appmodel.h"
#include "model/unsplashsearch.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

DailyDialog::DailyDialog(AppModel *model, QWidget *parent)
    : QDialog(parent), m_model(model),
      m_enabled(new QCheckBox(QStringLiteral("&Täglich neu"), this)), m_query(new QLineEdit(this)),
      m_at(new QTimeEdit(this)),
      m_atLogin(new QCheckBox(QStringLiteral("Bei der &Anmeldung statt zu einer Uhrzeit"), this))
{
    setObjectName(QStringLiteral("dailyDialog"));
    setWindowTitle(QStringLiteral("Täglich neu"));
    setMinimumWidth(440); // the texts wrap into a few lines, not a column
    auto *column = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("Jeden Tag ein neues Foto von Unsplash als Schreibtisch, im Look, den "
                       "das Fenster jetzt zeigt: Stil und Regler für Hell und Dunkel, die "
                       "Größe. War der Rechner zur Uhrzeit aus, kommt das Bild bei der nächsten "
                       "Anmeldung."),
        this);
    intro->setWordWrap(true);
    column->addWidget(intro);
    m_enabled->setObjectName(QStringLiteral("dailyEnabled"));
    m_enabled->setAccessibleDescription(QStringLiteral("Schaltet das tägliche neue Wallpaper ein"));
    column->addWidget(m_enabled);

    auto *form = new QFormLayout;
    m_query->setObjectName(QStringLiteral("dailyQuery"));
    m_query->setPlaceholderText(QStringLiteral("z. B. Berge"));
    m_query->setAccessibleName(QStringLiteral("Suchbegriff"));
    form->addRow(QStringLiteral("&Suchbegriff"), m_query);
    m_at->setObjectName(QStringLiteral("dailyAt"));
    m_at->setDisplayFormat(QStringLiteral("HH:mm"));
    m_at->setAccessibleName(QStringLiteral("Uhrzeit"));
    form->addRow(QStringLiteral("&Uhrzeit"), m_at);
    column->addLayout(form);
    m_atLogin->setObjectName(QStringLiteral("dailyAtLogin"));
    m_atLogin->setAccessibleDescription(
        QStringLiteral("Für Systeme ohne systemd-Benutzerinstanz: höchstens einmal am Tag"));
    column->addWidget(m_atLogin);
    // Saved without a key, every day's run would fail where nobody sees it.
    m_keyWarning = new QWidget(this);
    m_keyWarning->setObjectName(QStringLiteral("dailyKeyWarning"));
    auto *warning = new QHBoxLayout(m_keyWarning);
    warning->setContentsMargins(0, 0, 0, 0);
    auto *keyText = new QLabel(QStringLiteral("Ohne Unsplash-Access-Key kann Voskan kein neues "
                                              "Foto holen. Trage ihn unter Bearbeiten › "
                                              "Einstellungen… ein."),
                               m_keyWarning);
    keyText->setWordWrap(true);
    warning->addWidget(keyText, 1);
    auto *keyButton = new QPushButton(QStringLiteral("Unsplash-&Key eintragen…"), m_keyWarning);
    keyButton->setObjectName(QStringLiteral("dailyKeyButton"));
    keyButton->setAccessibleDescription(keyText->text());
    connect(keyButton, &QPushButton::clicked, this, &DailyDialog::accessKeyWanted);
    warning->addWidget(keyButton);
    column->addWidget(m_keyWarning);
    connect(m_model->search(), &UnsplashSearch::accessKeyChanged, this, &DailyDialog::followKey);
    auto *credit = new QLabel(QStringLiteral("Den Nachweis des Fotos des Tages findest du in „%1“.")
                                  .arg(QDir::toNativeSeparators(DailyWallpaper::creditFile())),
                              this);
    credit->setWordWrap(true);
    credit->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(credit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("Sichern"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &DailyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DailyDialog::reject);
    column->addWidget(buttons);

    const std::optional<DailyWallpaper::Settings> settings = DailyWallpaper::settings();
    const DailyWallpaper::Settings shown = settings.value_or(
        DailyWallpaper::Settings{m_model->query().trimmed(), QTime(8, 0), {}, false});
    m_enabled->setChecked(settings.has_value());
    m_query->setText(shown.query);
    m_at->setTime(shown.at);
    m_atLogin->setChecked(shown.atLogin);
    connect(m_enabled, &QCheckBox::toggled, this, &DailyDialog::followChoices);
    connect(m_atLogin, &QCheckBox::toggled, this, &DailyDialog::followChoices);
    followChoices();
}

void DailyDialog::followKey()
{
    m_keyWarning->setVisible(m_enabled->isChecked() && m_model->search()->needsAccessKey());
}

void DailyDialog::followChoices()
{
    m_query->setEnabled(m_enabled->isChecked());
    m_atLogin->setEnabled(m_enabled->isChecked());
    m_at->setEnabled(m_enabled->isChecked() && !m_atLogin->isChecked());
    followKey();
}

void DailyDialog::accept()
{
    if (!m_enabled->isChecked()) {
        DailyWallpaper::disable();
        QDialog::accept();
        return;
    }
    const DailyWallpaper::Settings settings{m_query->text().trimmed(), m_at->time(),
                                            m_model->dailyOptions(), m_atLogin->isChecked()};
    // Refused as the window reports every error; the dialog stays to be corrected.
    if (const std::optional<QString> error =
            DailyWallpaper::enable(settings, DailyWallpaper::Reader::Window)) {
        m_model->setErrorMessage(*error);
        return;
    }
    QDialog::accept();
}
