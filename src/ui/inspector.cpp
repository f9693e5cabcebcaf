#include "inspector.h"

#include "model/appmodel.h"

#include <QAction>

InspectorPane::InspectorPane(AppModel *model, QWidget *parent) : QWidget(parent), m_model(model)
{
    m_exportAction = new QAction(QStringLiteral("Als HEIC exportieren…"), this);
}
