// The exported VISA operations of the stand-in library. The resources and the ports of the
// instruments that answer them come from the bench file that KSM7720_BENCH names. Any
// session may be used on its own thread; calls on one session are served one at a time.

#include "common/BenchFile.h"
#include "common/ResourceName.h"
#include "common/VisaPattern.h"
#include "visa/BenchCache.h"
#include "visa/NoThrow.h"
#include "visa/SessionTable.h"
#include "visa/VisaStatus.h"
#include "visa/visa.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kBenchVariable[] = "KSM7720_BENCH";

CSessionTable& Table() {
    return CSessionTable::Instance();
}

// Copies `text` into a caller's buffer of VI_FIND_BUFLEN characters, always terminated.
void CopyOut(ViChar* dest, const std::string& text) {
    if (!dest)
        return;
    size_t n = std::min(text.size(), size_t{VI_FIND_BUFLEN - 1});
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

std::optional<CBenchFile> LoadBench(const std::string& path) {
    return LoadBenchCached(path);
}

// The manager object of `handle`, or nothing when the handle is not a resource manager.
std::optional<CSessionTable::Object> Manager(ViSession handle) {
    std::optional<CSessionTable::Object> o = Table().Get(handle);
    if (!o || o->manager != VI_NULL)
        return std::nullopt;
    return o;
}

std::shared_ptr<CInstrSession> Instr(ViSession handle) {
    std::optional<CSessionTable::Object> o = Table().Get(handle);
    return o ? o->instr : nullptr;
}

// Runs a read or write on the INSTR session `vi`; for any other handle nothing moves.
template <typename Io> ViStatus Transfer(ViSession vi, ViPUInt32 count, Io io) {
    if (std::shared_ptr<CInstrSession> s = Instr(vi))
        return io(*s);
    if (count)
        *count = 0;
    return VI_ERROR_INV_OBJECT;
}

// The bench resource a name opens. A GPIB name with a secondary address that the bench does
// not list reaches the device at its primary address, which ignores secondary addressing.
const BenchResource* FindInBench(const CBenchFile& bench, CResourceName name) {
    if (const BenchResource* exact = bench.FindResource(name.Canonical()))
        return exact;
    if (!name.secondary)
        return nullptr;
    name.secondary.reset();
    return bench.FindResource(name.Canonical());
}

bool ValidMechanism(ViUInt16 mechanism) {
    return mechanism == VI_ALL_MECH ||
           (mechanism != 0 && (mechanism & ~(VI_QUEUE | VI_HNDLR | VI_SUSPEND_HNDLR)) == 0);
}

} // namespace

extern "C" {

ViStatus viOpenDefaultRM(ViPSession vi) {
    return NoThrow([&]() -> ViStatus {
        if (!vi)
            return VI_ERROR_INV_PARAMETER;
        *vi = VI_NULL;
        const char* path = std::getenv(kBenchVariable);
        if (!path || !*path || !LoadBench(path))
            return VI_ERROR_INV_SETUP;
        *vi = Table().Add({VI_NULL, path, nullptr, nullptr});
        return VI_SUCCESS;
    });
}

ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                    ViChar desc[]) {
    return NoThrow([&]() -> ViStatus {
        if (vi)
            *vi = VI_NULL;
        if (retCnt)
            *retCnt = 0;
        CopyOut(desc, "");
        std::optional<CSessionTable::Object> rm = Manager(sesn);
        if (!rm)
            return VI_ERROR_INV_OBJECT;
        std::optional<CVisaPattern> pattern =
            expr ? CVisaPattern::Compile(expr) : std::optional<CVisaPattern>();
        if (!pattern)
            return VI_ERROR_INV_EXPR;
        std::optional<CBenchFile> bench = LoadBench(rm->benchPath);
        if (!bench)
            return VI_ERROR_INV_SETUP;
        auto list = std::make_shared<CSessionTable::FindList>();
        for (const BenchResource& r : bench->resources) {
            if (pattern->Matches(r.name))
                list->names.push_back(r.name);
        }
        if (list->names.empty())
            return VI_ERROR_RSRC_NFOUND;
        ViFindList handle = vi ? Table().Add({sesn, "", list, nullptr}) : VI_NULL;
        if (vi)
            *vi = handle;
        if (retCnt)
            *retCnt = static_cast<ViUInt32>(list->names.size());
        CopyOut(desc, list->names[0]);
        return VI_SUCCESS;
    });
}

ViStatus viFindNext(ViFindList vi, ViChar desc[]) {
    return NoThrow([&]() -> ViStatus {
        CopyOut(desc, "");
        std::optional<CSessionTable::Object> o = Table().Get(vi);
        if (!o || !o->find)
            return VI_ERROR_INV_OBJECT;
        std::lock_guard lock(o->find->mutex);
        if (o->find->next >= o->find->names.size())
            return VI_ERROR_RSRC_NFOUND;
        CopyOut(desc, o->find->names[o->find->next++]);
        return VI_SUCCESS;
    });
}

ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[]) {
    return NoThrow([&]() -> ViStatus {
        if (!Manager(rmSesn))
            return VI_ERROR_INV_OBJECT;
        std::optional<CResourceName> name =
            rsrcName ? CResourceName::Parse(rsrcName) : std::optional<CResourceName>();
        if (!name)
            return VI_ERROR_INV_RSRC_NAME;
        if (intfType)
            *intfType = name->intf;
        if (intfNum)
            *intfNum = name->board;
        CopyOut(rsrcClass, "INSTR");
        CopyOut(expandedUnaliasedName, name->Canonical());
        CopyOut(aliasIfExists, "");
        return VI_SUCCESS;
    });
}

ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                     ViPUInt16 intfNum) {
    return NoThrow([&]() -> ViStatus {
        return viParseRsrcEx(rmSesn, rsrcName, intfType, intfNum, nullptr, nullptr, nullptr);
    });
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32, ViPSession vi) {
    return NoThrow([&]() -> ViStatus {
        if (!vi)
            return VI_ERROR_INV_PARAMETER;
        *vi = VI_NULL;
        std::optional<CSessionTable::Object> rm = Manager(sesn);
        if (!rm)
            return VI_ERROR_INV_OBJECT;
        std::optional<CResourceName> parsed =
            name ? CResourceName::Parse(name) : std::optional<CResourceName>();
        if (!parsed)
            return VI_ERROR_INV_RSRC_NAME;
        if (mode & ~ViAccessMode{7})
            return VI_ERROR_INV_ACC_MODE;
        std::optional<CBenchFile> bench = LoadBench(rm->benchPath);
        const BenchResource* res = bench ? FindInBench(*bench, *parsed) : nullptr;
        if (!res)
            return VI_ERROR_RSRC_NFOUND;
        auto session = std::make_shared<CInstrSession>(rm->benchPath, *res);
        if (!session->Connect())
            return VI_ERROR_RSRC_NFOUND;
        *vi = Table().Add({sesn, "", nullptr, session});
        return VI_SUCCESS;
    });
}

ViStatus viClose(ViObject vi) {
    return NoThrow([&]() -> ViStatus {
        if (vi == VI_NULL)
            return VI_WARN_NULL_OBJECT;
        return Table().Close(vi) ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
    });
}

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue) {
    return NoThrow([&]() -> ViStatus {
        std::optional<CSessionTable::Object> o = Table().Get(vi);
        if (!o)
            return VI_ERROR_INV_OBJECT;
        if (!attrValue)
            return VI_ERROR_INV_PARAMETER;
        if (o->instr)
            return o->instr->GetAttribute(attrName, attrValue);
        return CInstrSession::GetLibraryAttribute(attrName, attrValue);
    });
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    return NoThrow([&]() -> ViStatus {
        std::optional<CSessionTable::Object> o = Table().Get(vi);
        if (!o)
            return VI_ERROR_INV_OBJECT;
        if (o->instr)
            return o->instr->SetAttribute(attrName, attrValue);
        char scratch[VI_FIND_BUFLEN];
        bool known = CInstrSession::GetLibraryAttribute(attrName, scratch) == VI_SUCCESS;
        return known ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
    });
}

ViStatus viStatusDesc(ViObject, ViStatus status, ViChar desc[]) {
    return NoThrow([&]() -> ViStatus {
        if (!desc)
            return VI_ERROR_INV_PARAMETER;
        if (const char* text = VisaStatusText(status)) {
            CopyOut(desc, text);
            return VI_SUCCESS;
        }
        char text[64];
        std::snprintf(text, sizeof text, "Unknown status value 0x%08X.",
                      static_cast<unsigned>(status));
        CopyOut(desc, text);
        return VI_WARN_UNKNOWN_STATUS;
    });
}

ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    return NoThrow([&]() -> ViStatus {
        return Transfer(vi, retCnt, [&](CInstrSession& s) { return s.Read(buf, cnt, retCnt); });
    });
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    return NoThrow([&]() -> ViStatus {
        return Transfer(vi, retCnt, [&](CInstrSession& s) { return s.Write(buf, cnt, retCnt); });
    });
}

ViStatus viClear(ViSession vi) {
    return NoThrow([&]() -> ViStatus {
        std::shared_ptr<CInstrSession> s = Instr(vi);
        return s ? s->Clear() : VI_ERROR_INV_OBJECT;
    });
}

ViStatus viDisableEvent(ViSession vi, ViEventType, ViUInt16 mechanism) {
    return NoThrow([&]() -> ViStatus {
        if (!Table().Get(vi))
            return VI_ERROR_INV_OBJECT;
        return ValidMechanism(mechanism) ? VI_SUCCESS_EVENT_DIS : VI_ERROR_INV_MECH;
    });
}

ViStatus viDiscardEvents(ViSession vi, ViEventType, ViUInt16 mechanism) {
    return NoThrow([&]() -> ViStatus {
        if (!Table().Get(vi))
            return VI_ERROR_INV_OBJECT;
        return ValidMechanism(mechanism) ? VI_SUCCESS_QUEUE_EMPTY : VI_ERROR_INV_MECH;
    });
}

} // extern "C"
