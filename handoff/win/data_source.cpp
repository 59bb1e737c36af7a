#include "handoff/win/data_source.h"

#include <shlobj.h>

#include <cstring>

FileDropSource::~FileDropSource() {
  if (m_block) GlobalFree(m_block);
}

FORMATETC FileDropSource::Format() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

void FileDropSource::SetBlock(HGLOBAL block) {
  if (m_block) GlobalFree(m_block);
  m_block = block;
}

HRESULT FileDropSource::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
    *out = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG FileDropSource::Release() {
  const LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT FileDropSource::QueryGetData(FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  if (format->lindex != -1) return DV_E_LINDEX;
  return m_block ? S_OK : DV_E_FORMATETC;
}

HRESULT FileDropSource::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!medium) return E_INVALIDARG;
  const HRESULT ok = QueryGetData(format);
  if (FAILED(ok)) return ok;
  // The receiver frees what it gets: hand out a copy and keep the block for the next drag.
  const SIZE_T size = GlobalSize(m_block);
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!copy) return E_OUTOFMEMORY;
  void* to = GlobalLock(copy);
  const void* from = to ? GlobalLock(m_block) : nullptr;
  if (from) {
    std::memcpy(to, from, size);
    GlobalUnlock(m_block);
  }
  if (to) GlobalUnlock(copy);
  if (!from) {
    GlobalFree(copy);
    return E_OUTOFMEMORY;
  }
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = copy;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

HRESULT FileDropSource::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT FileDropSource::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (direction != DATADIR_GET) return E_NOTIMPL;
  FORMATETC format = Format();
  return SHCreateStdEnumFmtEtc(1, &format, out);
}

HRESULT StandardDropSource::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
    *out = static_cast<IDropSource*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT StandardDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
  if (escape) return DRAGDROP_S_CANCEL;
  if (!(keys & MK_LBUTTON)) return DRAGDROP_S_DROP;
  return S_OK;
}
