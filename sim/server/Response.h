#pragma once
// Writing a response: PacketStream cuts it into packets as it grows; ResponseSink turns what
// the engine reports into tokens, on the Connection they belong to.

#include "sim/server/Connection.h"
#include "sim/tds/Rpc.h"
#include "sim/tds/Tokens.h"
#include "sim/tds/Transactions.h"

namespace sqlsim::server {

Message infoMessage(int number, int state, std::string text);
Message errorMessage(int number, std::string text, int severity = 16);
// Sends everything or returns false (the peer is gone).
bool sendAll(int fd, const std::uint8_t *data, std::size_t n);

// Sends one response message, cutting it into packets of the negotiated size as it grows.
class PacketStream {
public:
    PacketStream(Connection &c, tds::PacketType type) : c_(c), type_(type) {}
    tds::Writer &writer() { return buffer_; }

    void flushFull()
    {
        const std::size_t room = c_.packetSize_ - tds::kHeaderSize;
        std::size_t at = 0;
        while (buffer_.size() - at > room) {
            sendPacket(at, room, false);
            at += room;
        }
        auto &bytes = buffer_.bytes();
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }

    void finish()
    {
        flushFull();
        sendPacket(0, buffer_.size(), true);
        buffer_.bytes().clear();
    }

private:
    void sendPacket(std::size_t at, std::size_t n, bool last)
    {
        if (c_.broken_)
            return;
        tds::Writer packet;
        packet.u8(static_cast<std::uint8_t>(type_));
        packet.u8(last ? tds::kStatusEom : 0);
        packet.be16(static_cast<std::uint16_t>(n + tds::kHeaderSize));
        packet.be16(c_.spid());
        packet.u8(packetId_++);
        packet.u8(0);
        packet.append(std::span(buffer_.bytes()).subspan(at, n));
        if (!sendAll(c_.fd_, packet.bytes().data(), packet.size()))
            c_.broken_ = true;
    }

    Connection &c_;
    tds::PacketType type_;
    tds::Writer buffer_;
    std::uint8_t packetId_ = 1;
};

// Turns what the engine reports into tokens. The DONE of a statement is held back until
// the next token shows whether more follows (DONE_MORE) or it is the batch's last.
class ResponseSink : public BatchSink {
public:
    explicit ResponseSink(Connection &c) : c_(c), out_(c, tds::PacketType::TabularResult) {}

    // Inside an RPC, statements end with DONEINPROC and the call with DONEPROC.
    void beginProcedure()
    {
        inProc_ = true;
        procFailed_ = false;
    }

    void endProcedure(bool last, tds::Writer &returnValues)
    {
        if (silenced())
            return;
        beforeToken();
        tds::Writer &w = out_.writer();
        tds::writeReturnStatus(w, procFailed_ || errorSinceDone_ ? -6 : 0);
        w.append(returnValues.bytes());
        std::uint16_t status = last ? tds::kDoneFinal : tds::kDoneMore;
        if (procFailed_ || errorSinceDone_)
            status |= tds::kDoneError;
        tds::writeDone(w, tds::kDoneProc, status, 0xE0, 0, c_.tdsVersion_);  // 0xE0: EXECUTE
        errorSinceDone_ = false;
        procDone_ = last;
        out_.flushFull();
    }

    void resultSet(const std::vector<Column> &columns, const std::vector<Row> &rows) override
    {
        if (silenced() || columns.empty())
            return;
        beforeToken();
        tds::Writer &w = out_.writer();
        tds::writeColMetadata(w, columns, c_.tdsVersion_);
        out_.flushFull();
        tds::Writer encoded;  // a whole row before any of it goes out
        for (const Row &row : rows) {
            if (silenced())
                return;
            encoded.clear();
            try {
                tds::writeRow(encoded, columns, row, c_.tdsVersion_);
            } catch (const std::runtime_error &e) {
                message(errorMessage(50000, e.what()));
                return;
            }
            w.append(encoded.bytes());
            out_.flushFull();
        }
        curCmd_ = 0xC1;  // SELECT
    }

    void message(const Message &m) override
    {
        if (silenced())
            return;
        beforeToken();
        tds::writeMessage(out_.writer(), m, c_.instance_.name, c_.tdsVersion_);
        c_.instance_.log.message(c_.instance_.name, c_.id_, m);
        errorSinceDone_ = errorSinceDone_ || m.isError();
        out_.flushFull();
    }

    void databaseChanged(const std::string &oldName, const std::string &newName) override
    {
        if (silenced())
            return;
        beforeToken();
        tds::writeEnvChange(out_.writer(), tds::kEnvDatabase, newName, oldName);
    }

    void transactionChanged(Transaction change, std::uint64_t descriptor) override
    {
        if (silenced())
            return;
        beforeToken();
        tds::writeTransactionChange(out_.writer(), static_cast<std::uint8_t>(8 + static_cast<int>(change)), descriptor);
    }

    void statementDone(std::optional<std::int64_t> rowCount, bool failed) override
    {
        if (silenced())
            return;
        beforeToken();
        std::uint16_t status = tds::kDoneFinal;
        if (rowCount)
            status |= tds::kDoneCount;
        if (failed || errorSinceDone_)
            status |= tds::kDoneError;
        procFailed_ = procFailed_ || (status & tds::kDoneError);
        pending_ = Pending{inProc_ ? tds::kDoneInProc : tds::kDone, status, curCmd_,
                           rowCount ? static_cast<std::uint64_t>(*rowCount) : 0};
        errorSinceDone_ = false;
        curCmd_ = 0;
    }

    bool cancelled() const override
    {
        return c_.attentionPending() || c_.broken_ || c_.readerDone_;
    }

    void finish()
    {
        if (c_.broken_)
            return;
        const int received = c_.attentionsReceived_;
        tds::Writer &w = out_.writer();
        if (received > c_.attentionsAnswered_) {
            flushPending(tds::kDoneMore);
            tds::writeDone(w, tds::kDone, tds::kDoneAttn, 0, 0, c_.tdsVersion_);
            c_.attentionsAnswered_ = received;
        } else if (pending_) {
            flushPending(0);
        } else if (procDone_) {
            // the last DONEPROC already ended the response
        } else {
            tds::writeDone(w, tds::kDone, errorSinceDone_ ? tds::kDoneError : tds::kDoneFinal, curCmd_, 0, c_.tdsVersion_);
        }
        out_.finish();
    }

private:
    struct Pending {
        tds::Token token;
        std::uint16_t status;
        std::uint16_t curCmd;
        std::uint64_t rowCount;
    };

    // After an attention nothing more of the batch is sent but the acknowledgement.
    bool silenced() const { return c_.broken_ || c_.attentionPending(); }

    void beforeToken() { flushPending(tds::kDoneMore); }

    void flushPending(std::uint16_t more)
    {
        if (!pending_)
            return;
        tds::writeDone(out_.writer(), pending_->token, pending_->status | more, pending_->curCmd,
                  pending_->rowCount, c_.tdsVersion_);
        pending_.reset();
    }

    Connection &c_;
    PacketStream out_;
    std::optional<Pending> pending_;
    bool errorSinceDone_ = false;
    std::uint16_t curCmd_ = 0;
    bool inProc_ = false;
    bool procFailed_ = false;
    bool procDone_ = false;
};

}  // namespace sqlsim::server
