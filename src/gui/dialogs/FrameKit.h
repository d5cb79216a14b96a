#pragma once

#include <QString>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QTabWidget;
class QWidget;

// Small pieces the service frames and the service dialogs build their inputs from.

// Column sizes of the service tables, the longest text an input may hold.
namespace column {
inline constexpr int Host = 100;     // service.ip of a host, service.proxy_ip
inline constexpr int Url = 2048;     // service.ip of a "URL" service
inline constexpr int Login = 50;     // username, password, proxy_username, proxy_password
inline constexpr int Header = 100;   // the service_url columns
inline constexpr int PostField = 50; // service_url_detail.fieldname, fieldvalue
inline constexpr int Integer = 11;   // an INTEGER column: sign and ten digits
inline constexpr int Option = 255;   // the texts of service_check_option
inline constexpr int Expect = 1024;  // service_url_expect.expect_text
} // namespace column

// A labelled line input added to `form`: the label is its buddy (and so its accessible name), and
// the input takes at most `maxLength` characters. `masked` shows "*" for every character.
QLineEdit* AddEditRow(QFormLayout* form, const QString& caption, int maxLength, bool masked = false);
// A labelled drop-down list of fixed items added to `form`.
QComboBox* AddComboRow(QFormLayout* form, const QString& caption, const QStringList& items);
// `field` added to `form` with a label showing `caption`, the label's buddy (and so its name).
QLabel* AddLabelledRow(QFormLayout* form, const QString& caption, QWidget* field);
// A form layout on `parent` whose fields take the width they are given.
QFormLayout* NewFormLayout(QWidget* parent);
// A new page of `tabs` with a form layout on it.
QFormLayout* AddFormPage(QTabWidget* tabs, const QString& caption);

// Makes `widget` visible through every page control it sits in: each tab page and stacked page
// that holds it becomes the current one, from the outermost inwards.
void RevealWidget(QWidget* widget);

// The picture strip at the left of a wizard page.
QWidget* NewPictureStrip();

// Selects the item of `combo` whose text equals `text`, or no item when none does.
void SelectComboText(QComboBox* combo, const QString& text);
