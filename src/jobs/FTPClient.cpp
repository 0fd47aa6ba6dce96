#include "FTPClient.h"

#include "FTPFailure.h"
#include "FTPSession.h"
#include "FTPTls.h"
#include "RemotePath.h"
#include "platform/Cp932.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunControl.h"
#include "platform/UserPrompts.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
constexpr bool CurlAddsCrOnAsciiUpload = false;
#else
// libcurl itself turns every LF of an ASCII-type upload into CR LF here (not on Windows).
constexpr bool CurlAddsCrOnAsciiUpload = true;
#endif

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

long ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

} // namespace

TFTPClient::TFTPClient() {
    static CurlGlobal global;
}

TFTPClient::~TFTPClient() {
    Quit();
}

void TFTPClient::requireConnection() const {
    if (!connected_)
        throw EFTPError(lostReason_.empty() ? "サーバーに接続していません。" : lostReason_);
}

void TFTPClient::throwPendingFailure() const {
    if (!pendingFailure_.empty())
        throw EFTPUploadFailed(pendingFailure_, pendingCode_);
}

void TFTPClient::lose(const std::string& reason) {
    for (auto& s : sessions_)
        s->cut();
    Quit();
    lostReason_ = reason;
}

void TFTPClient::Connect() {
    try {
        connectOnce();
    } catch (const EFTPError&) {
        if (!certificateRejected_ || !OnUntrustedCertificate)
            throw;
        TCertificateInfo certificate = rejectedCertificate_;
        if (!OnUntrustedCertificate(certificate, !TrustedFingerprint.empty()))
            throw;
        TrustedFingerprint = certificate.Fingerprint;
        connectOnce();
    }
}

void TFTPClient::connectOnce() {
    Quit();
    certificateRejected_ = false;
    lostReason_.clear();
    pendingFailure_.clear();
    pendingCode_ = 0;
    uploadsDone_ = 0;
    std::string name;
    int port = 21;
    SplitHost(Host, name, port);
    hostName_ = name;
    if (name.empty())
        throw EFTPError("FTPサーバーが設定されていません。");
    if (port <= 0 || port > 65535)
        throw EFTPError("サーバー「" + Host + "」のポート番号が正しくありません。");
    // Login data goes out as CP932; a changed character would only make the login fail without a reason.
    std::string user, password;
    if (!TryUtf8ToCp932(Username, user))
        throw EFTPError(
            "ユーザー名にShift_JIS(CP932)で表せない文字があります。ジョブのサーバー設定で変えてください。");
    if (!TryUtf8ToCp932(Password, password))
        throw EFTPError(
            "パスワードにShift_JIS(CP932)で表せない文字があります。ジョブのサーバー設定で変えてください。");

    sessions_.push_back(std::make_unique<TFTPSession>());
    TFTPSession* s = sessions_.back().get();
    s->easy.reset(curl_easy_init());
    s->multi.reset(curl_multi_init());
    if (!s->easy || !s->multi) {
        Quit();
        throw EFTPError("The FTP library could not be initialised.");
    }
    CURL* e = s->easy.get();
    std::string hostPart = name.find(':') != std::string::npos ? "[" + name + "]" : name;
    // Implicit TLS speaks TLS from the first byte (ftps://); explicit TLS starts plain and sends AUTH TLS.
    s->baseUrl = std::string(UseTLS && !ExplicitTLS ? "ftps://" : "ftp://") + hostPart + ":" +
                 std::to_string(port) + "/";
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    // Names go to the server as the job formed them: "../" and "./" are not folded away.
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    // A download must not hang on SIZE: some servers refuse it for files they will send all the same.
    curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s->errors);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TFTPSession::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, s);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TFTPSession::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, s);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &TFTPSession::onRead);
    curl_easy_setopt(e, CURLOPT_READDATA, s);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &TFTPSession::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &TFTPSession::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, s);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &TFTPSession::onCloseSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, Options.ConnectTimeoutMs);
    // The stall detection below ends a silent server; this bounds what libcurl waits for by itself (the
    // reply to QUIT, for example).
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, (Options.StallTimeoutMs + 999) / 1000 + 5);
    curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, Options.ActiveAcceptTimeoutMs);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    for (const std::string& entry : Options.Resolve)
        s->resolve = curl_slist_append(s->resolve, entry.c_str());
    curl_easy_setopt(e, CURLOPT_RESOLVE, s->resolve);
    // libcurl before 8.0 sends active-mode data connections in clear even after PROT P: with TLS the
    // data connections are passive, so that no byte of the job goes out unencrypted.
    if (!Passive && !UseTLS)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (UseTLS) {
        // PBSZ 0 and PROT P after the login; a server that refuses protected data connections gets no file
        // in clear: the connection fails instead. Explicit TLS starts with AUTH TLS.
        curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (ExplicitTLS)
            curl_easy_setopt(e, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        // TLS 1.2 and 1.3; nothing older.
        long version = Options.TlsVersion == 13   ? static_cast<long>(CURL_SSLVERSION_TLSv1_3)
                       : Options.TlsVersion == 12 ? static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                                                        static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2)
                                                  : static_cast<long>(CURL_SSLVERSION_TLSv1_2);
        curl_easy_setopt(e, CURLOPT_SSLVERSION, version);
        if (!Options.CAFile.empty())
            curl_easy_setopt(e, CURLOPT_CAINFO, Options.CAFile.c_str());
#ifdef _WIN32
        curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
        // Certificates, host names and session resumption are the TLS hooks' (see TFTPTls).
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &TFTPTls::ContextFunction);
        s->tls = std::make_unique<TFTPTls>(name, TrustedFingerprint);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, s->tls.get());
    }

    TFTPRequest login;
    login.connect = true;
    runOnMain(std::move(login));
    connected_ = true;
    cwd_ = s->physical;
    known_.clear();
    if (!cwd_.empty())
        learnDirectory(cwd_);
}

void TFTPClient::start(TFTPSession& s, TFTPRequest request) {
    CURL* e = s.easy.get();
    s.request = std::move(request);
    const TFTPRequest& r = s.request;
    if (!r.quote.empty())
        s.quote = curl_slist_append(nullptr, ("*" + r.quote).c_str()); // '*': a refusal keeps the connection
    curl_easy_setopt(e, CURLOPT_QUOTE, s.quote);
    bool transfer = !r.path.empty();
    std::string url = s.baseUrl + (transfer ? PercentEncodePath(Utf8ToCp932(r.path)) : "");
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOBODY, transfer ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_UPLOAD, r.upload ? 1L : 0L);
    s.tooLarge = false;
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, type_ == ftASCII ? 1L : 0L);
    s.asciiUpload = r.upload && type_ == ftASCII;
    s.asciiAddsCr = !CurlAddsCrOnAsciiUpload;
    s.heldCr = false;
    // The size on the wire of a converted text is not the file's.
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE,
                     static_cast<curl_off_t>(r.upload && !s.asciiUpload ? r.size : -1));
    s.writeFailed = false;
    s.lastReply.clear();
    s.lastCode = 0;
    s.errors[0] = '\0';
    s.moved = 0;
    s.reported = 0;
    s.refusedNewControl = false;
    s.aborted = TStop::None;
    s.touch();
    s.busy = true;
    s.finished = false;
    curl_multi_add_handle(s.multi.get(), e);
    TFTPSession* session = &s;
    try {
        s.worker = std::thread([this, session] {
            session->run();
            {
                std::lock_guard<std::mutex> lock(wakeMutex_);
                session->finished = true;
            }
            wake_.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the request runs here, holding the window up meanwhile.
        s.run();
        s.finished = true;
    }
}

void TFTPClient::stop(TFTPSession& s, TStop why) {
    if (!s.busy)
        return;
    s.aborted = why;
    s.cut(); // a blocking wait inside libcurl ends with the connection
    curl_multi_wakeup(s.multi.get());
    if (s.worker.joinable())
        s.worker.join();
    finish(s, {CURLE_ABORTED_BY_CALLBACK, why});
}

void TFTPClient::finish(TFTPSession& s, TRequestResult result) {
    if (s.worker.joinable())
        s.worker.join();
    s.closeLingering();
    if (s.aborted != TStop::None)
        result.stop = s.aborted;
    // libcurl tells the connection's socket only while the handle is in its multi handle.
    if (s.request.connect && result.Ok()) {
        std::lock_guard<std::mutex> lock(s.socketMutex);
        curl_easy_getinfo(s.easy.get(), CURLINFO_ACTIVESOCKET, &s.controlSocket);
    }
    curl_multi_remove_handle(s.multi.get(), s.easy.get());
    curl_easy_setopt(s.easy.get(), CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(s.quote);
    s.quote = nullptr;
    s.busy = false;
    int64_t moved = s.moved;
    if (OnBytesMoved && moved > s.reported)
        OnBytesMoved(moved - s.reported);
    s.reported = moved;
    TFTPRequest request = std::move(s.request);
    s.request = TFTPRequest();
    if (request.done)
        request.done(s, result);
}

void TFTPClient::drive(const std::function<bool()>& until) {
    Clock::time_point lastPump = Clock::now();
    while (!until()) {
        bool connecting = false, busy = false;
        for (auto& s : sessions_) {
            if (!s->busy)
                continue;
            if (s->finished) {
                finish(*s, {s->curlResult});
                continue;
            }
            busy = true;
            connecting = connecting || !s->ready;
            int64_t moved = s->moved;
            if (OnBytesMoved && moved > s->reported) {
                OnBytesMoved(moved - s->reported);
                s->reported = moved;
            }
        }
        if (until() || !busy)
            return;

        // The requests run on their threads; this one waits for the next to end, and keeps the window
        // system going every slice meanwhile.
        const long slice = connecting ? 125 : 250;
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(slice), [&] {
                for (auto& s : sessions_)
                    if (s->busy && s->finished)
                        return true;
                return false;
            });
        }
        if (ms(Clock::now() - lastPump) >= slice) {
            Prompts().ProcessMessages();
            lastPump = Clock::now();
        }
        if (CancelRequested()) {
            for (auto& s : sessions_)
                stop(*s, TStop::Cancelled);
            lose(ECancelled().what());
            throw ECancelled();
        }
        // Logging in has its own time-out; after it, a reply or data that stops moving is a stall.
        for (auto& s : sessions_)
            if (s->busy && s->ready && s->idleMs() > Options.StallTimeoutMs)
                stop(*s, TStop::Stalled);
    }
}

void TFTPClient::runOnMain(TFTPRequest request) {
    if (sessions_.empty())
        requireConnection();
    TFTPSession& m = *sessions_.front();
    drive([&] { return !m.busy; }); // it may still be uploading
    throwPendingFailure();
    TRequestResult result;
    bool done = false;
    request.done = [&](TFTPSession&, TRequestResult r) {
        result = r;
        done = true;
    };
    bool connecting = request.connect;
    bool isCommand = !request.quote.empty();
    bool transfer = !request.path.empty();
    start(m, std::move(request));
    drive([&] { return done; });
    if (result.stop == TStop::Cancelled) {
        lose(ECancelled().what());
        throw ECancelled();
    }
    if (connecting && result.Ok())
        m.loggedIn();
    if (result.Ok()) {
        if (isCommand && m.lastCode >= 400)
            throw EFTPError(m.lastReply, m.lastCode);
        return;
    }

    // A download that found no file, or an upload the server refused to start, leaves the session usable;
    // after any other failure it ends here, and later calls report why.
    const CURLcode c = result.code;
    bool keepsConnection = transfer && result.stop == TStop::None &&
                           (c == CURLE_REMOTE_FILE_NOT_FOUND || c == CURLE_WRITE_ERROR ||
                            c == CURLE_FTP_COULDNT_RETR_FILE || c == CURLE_UPLOAD_FAILED);
    bool tooLarge = m.tooLarge;
    int code = 0;
    std::string message = failureOf(m, result, connecting, code);
    if (connecting)
        Quit();
    else if (!keepsConnection)
        lose(message);
    if (tooLarge)
        throw EFTPTooLarge(message);
    throw EFTPError(message, code);
}

std::string TFTPClient::failureOf(const TFTPSession& m, const TRequestResult& result, bool connecting,
                                  int& code) {
    TFTPFailureFacts facts;
    facts.Code = result.code;
    facts.Stalled = result.stop == TStop::Stalled;
    facts.Connecting = connecting;
    facts.TooLarge = m.tooLarge;
    facts.LimitBytes = m.tooLargeLimit;
    if (m.tls && m.tls->Rejected()) {
        certificateRejected_ = true; // the caller may ask the user and connect again
        rejectedCertificate_ = m.tls->RejectedCertificate();
        facts.CertificateRejected = true;
        facts.CertificateProblem = rejectedCertificate_.Problem;
    }
    facts.TlsControlStarted = m.tls && m.tls->ControlStarted();
    facts.ControlClosed = m.controlClosed;
    facts.RefusedNewControl = m.refusedNewControl;
    facts.WriteFailed = m.writeFailed;
    facts.ReplyCode = m.lastCode;
    facts.Reply = m.lastReply;
    facts.Detail = m.errors;
    facts.StallSeconds = (Options.StallTimeoutMs + 999) / 1000;
    facts.AcceptSeconds = (Options.ActiveAcceptTimeoutMs + 999) / 1000;
    TFTPFailure failure = DescribeFTPFailure(facts);
    code = failure.ReplyCode;
    return failure.Message;
}

void TFTPClient::learnDirectory(const std::string& dir) {
    // A directory that exists has parents that exist.
    for (std::string d = dir;; d = JoinRemotePath(d, "..")) {
        if (std::find(known_.begin(), known_.end(), d) == known_.end())
            known_.push_back(d);
        if (d == "/")
            break;
    }
}

std::string TFTPClient::pathFor(const TFTPSession& session, const std::string& asGiven) const {
    if (cwd_.empty() || session.physical.empty() || session.physical == cwd_)
        return asGiven;
    return RelativeRemotePath(session.physical, JoinRemotePath(cwd_, asGiven));
}

void TFTPClient::command(const std::string& verb, const std::string& argument, bool isPath) {
    requireConnection();
    std::string line = verb;
    if (isPath)
        line += " " + Utf8ToCp932(pathFor(*sessions_.front(), argument));
    TFTPRequest r;
    r.quote = line;
    runOnMain(std::move(r));
}

void TFTPClient::ChangeDir(const std::string& dir) {
    requireConnection();
    if (cwd_.empty()) {
        command("CWD", dir, true); // where the login started is not known: as asked
        if (!dir.empty() && dir[0] == '/')
            cwd_ = sessions_.front()->physical = JoinRemotePath("/", dir);
        return;
    }
    std::string target = JoinRemotePath(cwd_, dir);
    if (std::find(known_.begin(), known_.end(), target) != known_.end()) {
        cwd_ = target; // no round trip: the answer is known
        return;
    }
    command("CWD", dir, true);
    cwd_ = sessions_.front()->physical = target;
    learnDirectory(target);
}

void TFTPClient::MakeDir(const std::string& dir) {
    // A directory made is not yet one entered: the CWD after it is still sent, and it decides.
    command("MKD", dir, true);
}

void TFTPClient::ChangeDirUp() {
    requireConnection();
    if (cwd_.empty()) {
        command("CDUP", "", false);
        return;
    }
    cwd_ = JoinRemotePath(cwd_, ".."); // a parent of a known directory is known
}

void TFTPClient::Rename(const std::string& from, const std::string& to) {
    renameFromRefused_ = true;
    command("RNFR", from, true);
    renameFromRefused_ = false;
    command("RNTO", to, true);
}

void TFTPClient::Delete(const std::string& name) {
    command("DELE", name, true);
}

void TFTPClient::Get(const std::string& remoteName, const std::string& localPath, int64_t maxBytes) {
    requireConnection();
    TFTPRequest r;
    if (!r.file.Open(NativePath(localPath), FileAccess::CreateNew)) {
        int code = r.file.Error();
        ThrowFileError(FileAction::Create, localPath, code);
    }
    r.path = pathFor(*sessions_.front(), remoteName);
    r.maxBytes = maxBytes;
    try {
        runOnMain(std::move(r));
    } catch (...) {
        // Never leave part of a file behind: a half list would pass for the server's list.
        std::error_code ignored;
        std::filesystem::resize_file(std::filesystem::u8path(NativePath(localPath)), 0, ignored);
        throw;
    }
}

namespace {

TFile openForUpload(const std::string& localPath, int64_t& size) {
    TFile file;
    if (!file.Open(NativePath(localPath), FileAccess::Read) || !file.IsRegular() ||
        (size = file.Size()) < 0) {
        int code =
            !file.IsOpen() || file.Error() != 0 ? file.Error() : static_cast<int>(std::errc::is_a_directory);
        ThrowFileError(FileAction::Open, localPath, code);
    }
    return file;
}

} // namespace

void TFTPClient::Put(const std::string& localPath, const std::string& remoteName) {
    requireConnection();
    TFTPRequest r;
    r.file = openForUpload(localPath, r.size);
    r.upload = true;
    r.path = pathFor(*sessions_.front(), remoteName);
    runOnMain(std::move(r));
}

void TFTPClient::openExtraConnection() {
    const TFTPSession& main = *sessions_.front();
    auto session = std::make_unique<TFTPSession>();
    TFTPSession* s = session.get();
    s->easy.reset(curl_easy_duphandle(main.easy.get()));
    s->multi.reset(curl_multi_init());
    if (!s->easy || !s->multi)
        return;
    sessions_.push_back(std::move(session));
    CURL* e = s->easy.get();
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s->errors);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, s);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, s);
    curl_easy_setopt(e, CURLOPT_READDATA, s);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, s);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, s);
    curl_easy_setopt(e, CURLOPT_QUOTE, nullptr);
    for (const std::string& entry : Options.Resolve)
        s->resolve = curl_slist_append(s->resolve, entry.c_str());
    curl_easy_setopt(e, CURLOPT_RESOLVE, s->resolve);
    s->baseUrl = main.baseUrl;
    if (main.tls) {
        s->tls = std::make_unique<TFTPTls>(hostName_, TrustedFingerprint);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, s->tls.get());
    }
    TFTPRequest login;
    login.connect = true;
    // A server that refuses more logins (421, 530, too many from one address) is used with the
    // connections it accepted, and no further one is tried.
    login.done = [this](TFTPSession& session, TRequestResult result) {
        if (result.Ok()) {
            session.loggedIn();
        } else {
            session.lost = true;
            refusedMore_ = true;
        }
    };
    start(*s, std::move(login));
}

TFTPSession* TFTPClient::freeConnection() {
    for (size_t i = 1; i < sessions_.size(); ++i)
        if (sessions_[i]->ready && !sessions_[i]->busy && !sessions_[i]->lost)
            return sessions_[i].get();
    return sessions_.front()->busy ? nullptr : sessions_.front().get();
}

void TFTPClient::WaitForFreeConnection() {
    requireConnection();
    throwPendingFailure();
    // One more connection when every one is busy, up to the limit: a few changed files cost no logins
    // they do not need. Paths must be told from where each connection is, so the login directory must be
    // known.
    if (!freeConnection() && !refusedMore_ && !cwd_.empty() && !sessions_.front()->physical.empty()) {
        int usable = 0;
        bool connecting = false;
        for (auto& s : sessions_) {
            usable += !s->lost;
            connecting = connecting || (!s->ready && !s->lost);
        }
        if (!connecting && usable < Connections)
            openExtraConnection();
    }
    drive([&] { return freeConnection() != nullptr || !pendingFailure_.empty(); });
    throwPendingFailure();
}

void TFTPClient::ThrowIfUploadFailed() {
    requireConnection();
    // Uploads that have ended are taken in first, so that a failure is told as soon as it is known.
    for (auto& s : sessions_)
        if (s->busy && s->finished)
            finish(*s, {s->curlResult});
    throwPendingFailure();
}

void TFTPClient::StartPut(const std::string& localPath, const std::string& remoteName) {
    WaitForFreeConnection();
    TFTPSession* s = freeConnection();
    TFTPRequest r;
    r.file = openForUpload(localPath, r.size);
    r.upload = true;
    r.path = pathFor(*s, remoteName);
    r.done = [this, remoteName](TFTPSession& session, TRequestResult result) {
        if (result.Ok() && session.lastCode < 400) {
            ++uploadsDone_;
            return;
        }
        if (result.stop == TStop::Aborted || result.stop == TStop::Cancelled)
            return; // the run is ending; the caller hears of the cancel itself
        if (result.Ok())
            result.code = CURLE_UPLOAD_FAILED; // the server's reply refused it
        if (pendingFailure_.empty())
            pendingFailure_ = remoteName + "のアップロードに失敗しました：" +
                              failureOf(session, result, false, pendingCode_);
        session.lost = true;
        session.ready = false;
        session.cut();
    };
    start(*s, std::move(r));
}

void TFTPClient::WaitForUploads() {
    requireConnection();
    drive([&] {
        for (auto& s : sessions_)
            if (s->busy && s->request.upload)
                return false;
        return true;
    });
    throwPendingFailure();
}

void TFTPClient::Quit() {
    connected_ = false;
    for (auto& s : sessions_)
        stop(*s, TStop::Aborted);
    closeSessions();
    refusedMore_ = false;
    cwd_.clear();
    known_.clear();
}

void TFTPClient::closeSessions() {
    if (sessions_.empty())
        return;
    // A lost connection, or any after the user cancelled or an upload failed, is cut rather than spoken to:
    // nobody waits for the goodbye of a server that may have stopped answering.
    const bool hurry = CancelRequested() || !pendingFailure_.empty();
    for (auto& s : sessions_)
        if (s->lost || hurry)
            s->cut();
    // The others get QUIT, all at once on threads of their own, while this thread keeps the window
    // system going; a server that does not answer in time is cut off.
    std::atomic<size_t> open{sessions_.size()};
    std::vector<std::thread> closers;
    for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
        TFTPSession* s = it->get();
        try {
            closers.emplace_back([s, &open, this] {
                s->cleanup();
                {
                    std::lock_guard<std::mutex> lock(wakeMutex_);
                    --open;
                }
                wake_.notify_all();
            });
        } catch (const std::system_error&) {
            s->cut(); // no thread to be had: close here, without waiting for the server
            s->cleanup();
            --open;
        }
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(Options.QuitTimeoutMs);
    bool cutOff = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return open == 0; });
        }
        if (open == 0)
            break;
        Prompts().ProcessMessages();
        if (!cutOff && (Clock::now() >= deadline || CancelRequested())) {
            for (auto& s : sessions_)
                s->cut();
            cutOff = true;
        }
    }
    for (std::thread& closer : closers)
        closer.join();
    sessions_.clear();
}
