#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace db {

class Connection;

/// Static-cursor query over the program's dialect: it shows the rows as they were when it
/// opened, whatever is written meanwhile, and a write never waits for it or fails because
/// of it. Opening returns with the first rows; the rest are read in the background, kept
/// compactly, and announced by rowsRead(). A move to a row not read yet, last() and
/// recordCount() wait for the reading to get there.
class Query : public QObject {
    Q_OBJECT
public:
    explicit Query(QObject *parent = nullptr);
    explicit Query(Connection *connection, QObject *parent = nullptr);
    ~Query() override;

    void setConnection(Connection *connection);
    Connection *connection() const;

    // Query text as lines; the text is the lines joined by "\n" (no break after the last).
    // A change of the text takes effect at the next open.
    QStringList &sql();
    const QStringList &sql() const;
    void clearSql();
    void addSql(const QString &line);
    void setSql(const QString &text); ///< replaces the lines with one text
    QString text() const;

    void open();  ///< no effect when already open; throws DbError; cursor on first row
    void close();
    bool isOpen() const;

    // Moves. afterScroll follows open, first(), last() and every move that changes the
    // current row (next/prior at an end change nothing and only set eof/bof).
    void first();
    void last(); ///< reads every remaining row
    void next();  ///< at the last row sets eof() and stays there
    void prior(); ///< at the first row sets bof() and stays there
    bool bof() const;
    bool eof() const;
    bool isEmpty() const;
    int recordCount() const;   ///< every row of the result: waits for the reading to end
    int recNo() const;         ///< 0-based current row, -1 when there is none
    bool moveTo(int row);      ///< moves to a 0-based row; false when it does not exist
    int fetchedCount() const;  ///< rows read so far (readable without waiting)
    bool fetchMore(int rows);  ///< waits for up to rows more; false when none was left
    bool isComplete() const;   ///< every row of the result has been read

    /// Moves to the first row whose column equals value, ignoring letter case (accents
    /// included). Returns false and stays put when no row matches.
    bool locate(const QString &column, const QString &value);

    int fieldCount() const;
    QString fieldName(int column) const;      ///< result name: "data", "documento.descricao", "Expr1003"
    int fieldIndex(const QString &name) const; ///< -1 when unknown; names compared without case
    bool isDateField(int column) const;

    /// Current row's value as text: empty for NULL, dates as dd/MM/yy (+ " hh:mm:ss" when not midnight).
    QString asText(int column) const;
    QString asText(const QString &name) const; ///< throws DbError for an unknown name
    QVariant value(int column) const;          ///< raw value (day numbers for dates)
    bool isNull(int column) const;

    /// Value of any fetched row (for grids).
    QString textAt(int row, int column) const;

signals:
    void afterOpen();
    void afterScroll();
    void afterClose();
    /// More rows were read in the background, or the reading ended (isComplete()).
    void rowsRead();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace db
