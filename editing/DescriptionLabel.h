#pragma once
#include <QLabel>
#include <QString>

namespace editing {

/// The sky-blue label beside a code field that shows what the code stands for (the
/// description of a process or of a document type). Its accessible name says both what it
/// is and what it shows ("Descrição do tipo: OFÍCIO"), kept current with the text, so a
/// screen reader reads the description and not only the label's purpose.
class DescriptionLabel : public QLabel {
    Q_OBJECT
public:
    /// `purpose` is what the label shows, as a screen reader names it ("Descrição do tipo").
    DescriptionLabel(const QString &objectName, const QString &purpose, QWidget *parent = nullptr);

    /// Shows a description; an empty one leaves the label blank.
    void setDescription(const QString &description);

private:
    QString m_purpose;
};

} // namespace editing
