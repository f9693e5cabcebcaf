#include "unsplashpick.h"

#include "model/appmodel.h"
#include "model/exporterror.h"
#include "model/unsplashsearch.h"
#include "sources/unsplashservice.h"

#include <QEventLoop>
#include <QPointer>

#include <memory>

std::variant<PickedPhoto, QString> pickFromUnsplash(const QString &query, int pick,
                                                    const QString &key, const QString &avoid)
{
    const QString given = key.isEmpty() ? QString() : UnsplashSearch::effectiveKey(key);
    QEventLoop loop;
    // The download report goes out after the picture is applied; the service settles it
    // within UnsplashService::kReportDeadline, also when it sends nothing.
    const auto reported = std::make_shared<bool>(false);
    const auto settled = [reported, waiting = QPointer<QEventLoop>(&loop)] {
        *reported = true;
        if (waiting)
            waiting->quit();
    };
    AppModel model({[given, settled](const QString &stored) {
                        return makeReportingUnsplashClient(given.isEmpty() ? stored : given,
                                                           settled);
                    },
                    {}});
    QObject::connect(model.search(), &UnsplashSearch::isSearchingChanged, &loop, [&] {
        if (!model.isSearching())
            loop.quit();
    });
    model.setQuery(query);
    model.runSearch();
    if (model.isSearching())
        loop.exec();
    if (model.errorMessage())
        return *model.errorMessage();
    if (model.results().size() < pick)
        return QStringLiteral("Nur %1 Treffer für „%2“.")
            .arg(model.results().size())
            .arg(query.trimmed());
    qsizetype index = pick - 1;
    if (model.results().at(index).id == avoid && model.results().size() > 1)
        index = (index + 1) % model.results().size(); // never the same photo twice in a row
    const UnsplashPhoto hit = model.results().at(index);

    // No time limit of our own: the service ends every download within its deadline with a
    // reason, which a timer here would only cut off.
    const bool reports = hit.links && hit.links->downloadLocation;
    QObject::connect(model.loader(), &PictureLoader::isLoadingChanged, &loop, [&] {
        if (!model.isLoadingSource())
            loop.quit();
    });
    model.select(hit);
    while (model.isLoadingSource() || (reports && !*reported && !model.errorMessage()))
        loop.exec();
    if (model.errorMessage())
        return *model.errorMessage();
    const Look &look = model.lightLook();
    if (!look.source)
        return description(ExportError::NoSource);
    PickedPhoto picked{*look.source, hit.id, look.attribution.value_or(QString()), {}};
    picked.credit = picked.attribution;
    if (look.attributionURL)
        picked.credit += QLatin1Char('\n') + *look.attributionURL;
    return picked;
}
