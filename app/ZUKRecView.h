#pragma once
// The window content of an open group. For now it shows the group's header line; the facility
// icons come with the full group view.
#include <QWidget>

#include "app/PreferencesModel.h"

class QPainter;

namespace quorvane {

class CZUKRecDoc;

class CZUKRecView : public QWidget {
    Q_OBJECT
public:
    explicit CZUKRecView(CZUKRecDoc* doc, QWidget* parent = nullptr);

    CZUKRecDoc* document() const { return doc_; }
    // The preference values this window read when it was created; only its own Preferences
    // sheet changes them.
    const ViewPreferences& preferences() const { return prefs_; }
    ViewPreferences& preferences() { return prefs_; }

    // "P&references...": the sheet on this window's copies.
    void showPreferences();

    // "%d %s  %s": the facility count, the type (without its trailing "s" characters when the
    // group has exactly one facility) plus " - " and the description when there is one, and
    // "(click icon for reservations)".
    static QString headerText(int count, const QString& typeName, const QString& description);
    // Left edge of the header for a text `textWidth` wide and an average character width
    // `charWidth`: over the middle column from three facilities on.
    static int headerX(int count, int textWidth, int charWidth);

    // Draws the header on any surface (window, printer) with that surface's font metrics.
    static void drawHeader(QPainter& painter, const CZUKRecDoc& doc);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CZUKRecDoc* doc_;
    ViewPreferences prefs_;
};

}  // namespace quorvane
