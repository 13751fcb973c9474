// Pages kept in a notebook are shown under an address scheme of the
// program's own, one origin per shown note, on an engine profile that has no
// way out: the page reads its own file and the files it uses, nothing else
// on disk, on the network or of another note.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <map>
#include <set>
#include <string>

class CClipVaultDoc;
class CNote;
class QWebEnginePage;
class QWebEngineProfile;
class QObject;

// "cvpage": neither "vlt…" nor "clipvault:", which the browser takes as link
// prefixes of its own.
QString StoredPageScheme();

// Makes the scheme known to the engine. Before any engine object exists;
// later calls do nothing.
void RegisterStoredPageScheme();

// What one shown note may read: its page and the attachments it uses, all
// bare names in its notebook's working folder, or, for an encrypted
// notebook, held in memory: no plain byte of it is written to disk.
struct CStoredPageGrant {
    QString m_strFolder;  // real path, no trailing slash; empty when in memory
    QString m_strPage;    // the working copy's file name
    std::set<QString> m_names;
    std::map<QString, QByteArray> m_memory;  // name -> bytes, when in memory
};

// The note's page and every attachment it uses, through its stylesheets and
// frame pages too; only names the notebook stores. A plain notebook's are
// written to its working folder; an encrypted one's are copied into the
// grant.
CStoredPageGrant GrantForNote(CClipVaultDoc& doc, CNote& note);

// The bytes a request of the scheme reads from memory; false when the grant
// is not in memory or the name is not the grant's.
bool StoredPageMemory(const QUrl& url, QByteArray& bytes);

// Serves the scheme on another profile too (the editor's): the same grants,
// the same rules.
void InstallStoredPageHandler(QWebEngineProfile* pProfile);

// Hands out the token (an unguessable host name) under which a grant is
// served, or replaces the grant of a token already handed out.
QString IssueStoredPageToken(const CStoredPageGrant& grant, const QString& strToken = QString());
void RevokeStoredPageToken(const QString& strToken);
// A file put beside a page that is held in memory (a picture inserted in
// the editor) is served under the page's token from then on, until the note
// takes it in. False when the token is unknown or not held in memory.
bool AddToStoredPageGrant(const QString& strToken, const QString& strName, const QByteArray& bytes);
// The address of a file of a grant.
QUrl StoredPageUrl(const QString& strToken, const QString& strName);

// The file a request of the scheme may read, as a real path; empty when the
// token is unknown or the name is not the grant's, leads out of the folder
// or is no regular file.
QString StoredPageFile(const QUrl& url);

// A page with a policy in front that lets its scripts connect nowhere but
// its own origin; after any doctype, so that the page keeps its mode.
// Pages in UTF-16 are left as they are.
QByteArray WithPagePolicy(const QByteArray& html);

// May a page showing the note of `strToken` make this request? A web
// archive the engine renders only from a file: `archive` is that file, and
// all of it comes from within.
bool StoredPageRequestAllowed(const QUrl& url, const QString& strToken, const QUrl& templateUrl,
                              const QUrl& archive = QUrl());

// The profile stored pages are shown on: nothing kept on disk, no network,
// no file access, no plugins, and the scheme's handler installed.
QWebEngineProfile* StoredPageProfile();

// Takes WebRTC away from every frame of the page, before its scripts run.
void RemoveRealTimeConnections(QWebEnginePage& page);
