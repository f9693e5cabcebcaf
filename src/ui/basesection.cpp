#include "basesection.h"

#include "model/appmodel.h"

BaseImageSection::BaseImageSection(AppModel *model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
}
