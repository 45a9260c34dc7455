// A document: title, path and modified flag, its views, and storage through Serialize.
#pragma once

#include "archive.h"
#include "cmdtarget.h"

#include <string>
#include <vector>

class CDocTemplate;
class CView;

class CDocument : public CCmdTarget {
    DECLARE_DYNAMIC(CDocument)
    DECLARE_MESSAGE_MAP()
public:
    ~CDocument() override;

    const std::string& GetTitle() const { return m_strTitle; }
    // Sets the title and shows it in the caption of every frame that holds a view of it.
    virtual void SetTitle(const char* lpszTitle);
    const std::string& GetPathName() const { return m_strPathName; }
    // Sets the path (in the program's form) and the title, its file name.
    virtual void SetPathName(const char* lpszPathName, BOOL bAddToMRU = TRUE);

    BOOL IsModified() const { return m_bModified; }
    void SetModifiedFlag(BOOL bModified = TRUE) { m_bModified = bModified; }

    virtual BOOL OnNewDocument();
    virtual BOOL OnOpenDocument(const char* lpszPathName);
    virtual BOOL OnSaveDocument(const char* lpszPathName);
    virtual void DeleteContents();
    // Save stores under the document's path (asking for one first if it has none); Save As
    // always asks.
    void OnFileSave();
    void OnFileSaveAs();
    virtual void Serialize(CArchive& ar);

    void AddView(CView* pView);
    void RemoveView(CView* pView);
    void UpdateFrameCounts();

    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    void SetDocTemplate(CDocTemplate* pTemplate) { m_pDocTemplate = pTemplate; }

    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

protected:
    CDocument() = default;

private:
    std::string m_strTitle;
    std::string m_strPathName;
    BOOL m_bModified = FALSE;
    CDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CView*> m_views;
};
