#pragma once

// What wallpaper to make and its size, the inspector's section "Ausgabe". Lengths are typed in the
// person's locale and checked against the largest side an export can have before the model sees
// them.

#include "inspectorform.h"
#include "model/valuetypes.h"

#include <QList>

#include <optional>

class AppModel;
class DayCycleThumbModel;
class QComboBox;
class ThumbStrip;
class QLabel;
class QLineEdit;

// The inspector's section "Ausgabe": what is made — the light/dark pair or a day cycle, whose
// pictures a strip shows with today's times —, the output size, as one of the fixed presets or
// as a width and height typed in, and the resulting pixel count.
class OutputSection : public InspectorSection
{
    Q_OBJECT

public:
    explicit OutputSection(AppModel *model, QWidget *parent = nullptr);

    // A side length as typed, in the current locale's digits and grouping ("6.016" and "6016"
    // in German); nothing for text that is not a whole number from 1 to the largest side an
    // export can have (RenderPipeline::MaxOutputSide).
    static std::optional<qint64> parseLength(const QString &text);
    static QString formatLength(qint64 length);

private:
    QLineEdit *makeLengthField(const char *name, const QString &title);
    void commitLength(QLineEdit *field, void (AppModel::*set)(qint64),
                      qint64 (AppModel::*get)() const);
    void syncScreens();
    void syncPreset();
    void syncLength(QLineEdit *field, qint64 value);
    void syncSize();
    void addFormatRows();
    void syncDayCycle();

    AppModel *m_model;
    QComboBox *m_presetPicker = nullptr;
    // The picker's rows: „Dieser Bildschirm“ while there is a screen, then the fixed table.
    QList<ResolutionPreset> m_presets;
    QWidget *m_customRow = nullptr;
    QLineEdit *m_width = nullptr;
    QLineEdit *m_height = nullptr;
    QLabel *m_size = nullptr;
    QComboBox *m_formatPicker = nullptr;
    DayCycleThumbModel *m_dayCycleModel = nullptr;
    ThumbStrip *m_dayCycleStrip = nullptr;
    QWidget *m_dayCycleRow = nullptr;
};
