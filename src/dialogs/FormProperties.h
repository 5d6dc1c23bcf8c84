#pragma once
#include <QDialog>
#include <QIcon>
#include <QUrl>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace kv {

// What the properties window shows of one node of the compilation.
struct TNodeProperties {
    QString Name;
    QString TypeName;
    QIcon Icon;
    QString Path;        // the source, or the "manually created" text
    QString Modified;    // already formatted
    QString Attributes;  // the letters
    QString Size;        // the four sizes joined by " - "
    bool IsFolder = false;
    qint64 Files = 0;  // below a folder
    qint64 Folders = 0;
    QString Source;  // a file's source, opened by the run button
    // An audio file: the CD-TEXT its track gets from the file (tags or name) and what was typed.
    bool IsAudio = false;
    QString FileTitle, FilePerformer, FileSongWriter;
    QString TypedTitle, TypedPerformer;
};

// The properties of one node. A file's run button opens its source with the desktop's program.
class TFormProperties : public QDialog {
    Q_OBJECT

public:
    explicit TFormProperties(const TNodeProperties& properties, QWidget* parent = nullptr);

    // Opens the file; the desktop's default program unless replaced.
    std::function<bool(const QUrl&)> Open;

    QLabel* LabelName = nullptr;
    QLabel* LabelType = nullptr;
    QLabel* ImageIcon = nullptr;
    QLabel* LabelPath = nullptr;
    QLabel* LabelModified = nullptr;
    QLabel* LabelAttributes = nullptr;
    QLabel* LabelSize = nullptr;
    QLabel* LabelFiles = nullptr;
    QLabel* LabelFolders = nullptr;
    QPushButton* ButtonRun = nullptr;
    // An audio file's CD-TEXT: title and performer can be typed, the songwriter is the file's.
    QLineEdit* EditCdTextTitle = nullptr;
    QLineEdit* EditCdTextPerformer = nullptr;
    QLabel* LabelCdTextSongWriter = nullptr;

    // After OK: the texts to keep for the track, empty where the file's own stands.
    QString TypedTitle() const;
    QString TypedPerformer() const;

private:
    void AddCdText(const TNodeProperties& properties, QVBoxLayout* layout);

    QString Source;
    QString FileTitle, FilePerformer;
};

}  // namespace kv
