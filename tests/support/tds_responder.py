"""A loopback TDS 7.4 responder for the SQL Server provider's tests (standard library only).

No SQL Server runs where the tests run, so the provider is checked against this: the real
unixODBC and FreeTDS talk to it over TCP, it answers from a script of canned replies and
records every request it received. Started with Debian's /usr/bin/python3; it listens on a
free port of 127.0.0.1, prints "READY <port>" once it accepts connections, and stops when
its standard input closes (the test process ended or stopped it).

--script FILE (JSON):
  {"logins": {"user": "password"},        optional; any other pair is refused (18456)
   "rules": [{"kind": "batch"|"rpc"|"any", "text": regex searched in the request's text,
              "proc": RPC name (any case), "times": N uses, "reply": [items]}],
   "default": [items]}                     when no rule matches
  Items: {"result": {"columns": [{"name", "type", "identity", "nullable"}], "rows": [[...]]}},
  {"count": n}, {"error": {"number", "message", "class", "state"}}, {"info": {...}},
  {"database": name}, {"return_status": n}, {"outputs": [{"name", "type", "value"}]},
  {"sleep": seconds} (cut short by an attention, which drops the rest of the reply).
  sp_prepare and sp_unprepare are answered by the responder itself unless a rule names them.
--log FILE: one JSON object per line and request, written before the request is answered:
  {"kind": "login", "user", "password", "database", "language", "server", "app", "host",
   "library", "tds_version"}, {"kind": "batch", "text"}, {"kind": "attention"},
  {"kind": "rpc", "proc", "text", "params": [{"name", "output", "type", "maxlen", "precision",
   "scale", "length", "value"}]}.
"""

import argparse
import datetime
import decimal
import json
import re
import select
import socket
import struct
import sys
import threading
import uuid

PACKET = 4096
COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])  # Latin1_General_CI_AS
PROCS = {1: "sp_cursor", 2: "sp_cursoropen", 3: "sp_cursorprepare", 4: "sp_cursorexecute",
         5: "sp_cursorprepexec", 6: "sp_cursorunprepare", 7: "sp_cursorfetch", 8: "sp_cursoroption",
         9: "sp_cursorclose", 10: "sp_executesql", 11: "sp_prepare", 12: "sp_execute",
         13: "sp_prepexec", 14: "sp_prepexecrpc", 15: "sp_unprepare"}
FIXED = {0x30: ("tinyint", 1), 0x32: ("bit", 1), 0x34: ("smallint", 2), 0x38: ("int", 4),
         0x3A: ("smalldatetime", 4), 0x3B: ("real", 4), 0x3C: ("money", 8), 0x3D: ("datetime", 8),
         0x3E: ("float", 8), 0x7A: ("smallmoney", 4), 0x7F: ("bigint", 8), 0x1F: ("null", 0)}
BYTELEN = {0x24: "uniqueidentifier", 0x26: "int", 0x68: "bit", 0x6D: "float", 0x6E: "money",
           0x6F: "datetime", 0x37: "decimal", 0x3F: "numeric", 0x6A: "decimal", 0x6C: "numeric",
           0x25: "varbinary", 0x27: "varchar", 0x2D: "binary", 0x2F: "char"}
BYSIZE = {"int": {1: "tinyint", 2: "smallint", 4: "int", 8: "bigint"}, "float": {4: "real", 8: "float"},
          "money": {4: "smallmoney", 8: "money"}, "datetime": {4: "smalldatetime", 8: "datetime"}}
USLEN = {0xA5: "varbinary", 0xA7: "varchar", 0xAD: "binary", 0xAF: "char", 0xE7: "nvarchar", 0xEF: "nchar"}
LONGLEN = {0x22: "image", 0x23: "text", 0x63: "ntext"}
SCALED = {0x29: "time", 0x2A: "datetime2", 0x2B: "datetimeoffset"}
EPOCH = datetime.datetime(1900, 1, 1)
DAY1 = datetime.date(1, 1, 1)


class Reader:
    def __init__(self, data):
        self.d, self.p = data, 0

    def take(self, n):
        if self.p + n > len(self.d):
            raise ValueError("request cut short")
        self.p += n
        return self.d[self.p - n:self.p]

    def u(self, fmt):
        return struct.unpack("<" + fmt, self.take(struct.calcsize("<" + fmt)))[0]

    def ucs2(self, chars):
        return self.take(chars * 2).decode("utf-16-le")

    def more(self):
        return self.p < len(self.d)


def decode_time(b, scale):
    units = int.from_bytes(b, "little") * 10 ** (7 - scale)  # in 100 ns
    return datetime.timedelta(microseconds=units // 10), units % 10


def fmt_dt(dt, hundreds=0):
    return dt.strftime("%Y-%m-%d %H:%M:%S") + ".%06d%d" % (dt.microsecond, hundreds)


def read_type(r):
    t = r.u("B")
    info = {"tds": t}
    if t in FIXED:
        info["type"], info["maxlen"] = FIXED[t]
    elif t in BYTELEN:
        info["maxlen"] = r.u("B")
        name = BYTELEN[t]
        info["type"] = BYSIZE.get(name, {}).get(info["maxlen"], name)
        if t in (0x37, 0x3F, 0x6A, 0x6C):
            info["precision"], info["scale"] = r.u("B"), r.u("B")
    elif t == 0x28:
        info["type"] = "date"
    elif t in SCALED:
        info["type"], info["scale"] = SCALED[t], r.u("B")
    elif t in USLEN:
        n = r.u("H")
        info["type"], info["maxlen"] = USLEN[t], "max" if n == 0xFFFF else n
        if t in (0xA7, 0xAF, 0xE7, 0xEF):
            r.take(5)
    elif t in LONGLEN:
        info["type"], info["maxlen"] = LONGLEN[t], r.u("I")
        if t != 0x22:
            r.take(5)
    else:
        raise ValueError("type 0x%02X not understood" % t)
    return info


def read_value(r, info):
    t, name = info["tds"], info["type"]
    if t in FIXED:
        raw = r.take(info["maxlen"])
    elif info.get("maxlen") == "max":
        total = r.u("Q")
        if total == 0xFFFFFFFFFFFFFFFF:
            return None, None
        chunks = []
        while True:
            n = r.u("I")
            if n == 0:
                break
            chunks.append(r.take(n))
        raw = b"".join(chunks)
    elif t in USLEN:
        n = r.u("H")
        if n == 0xFFFF:
            return None, None
        raw = r.take(n)
    elif t in LONGLEN:
        n = r.u("I")
        if n == 0xFFFFFFFF:
            return None, None
        raw = r.take(n)
    else:
        n = r.u("B")
        if n == 0:
            return None, None
        raw = r.take(n)
    return len(raw), decode(name, raw, info)


def decode(name, raw, info):
    if name in ("tinyint", "smallint", "int", "bigint", "bit"):
        return int.from_bytes(raw, "little", signed=name != "tinyint")
    if name in ("real", "float"):
        return struct.unpack("<f" if len(raw) == 4 else "<d", raw)[0]
    if name in ("money", "smallmoney"):
        v = struct.unpack("<i", raw)[0] if len(raw) == 4 else (struct.unpack("<i", raw[:4])[0] << 32) | struct.unpack("<I", raw[4:])[0]
        return "%s" % (decimal.Decimal(v).scaleb(-4))
    if name in ("decimal", "numeric"):
        v = decimal.Decimal(int.from_bytes(raw[1:], "little")).scaleb(-info["scale"])
        return format(v if raw[0] else -v, "f")
    if name == "datetime":
        days, ticks = struct.unpack("<iI", raw)
        units = (ticks * 100000 + 1) // 3  # 1/300 s in 100 ns, rounded
        dt = EPOCH + datetime.timedelta(days=days, microseconds=units // 10)
        return fmt_dt(dt, units % 10)
    if name == "smalldatetime":
        days, minutes = struct.unpack("<HH", raw)
        return fmt_dt(EPOCH + datetime.timedelta(days=days, minutes=minutes))
    if name == "date":
        return (DAY1 + datetime.timedelta(days=int.from_bytes(raw, "little"))).isoformat()
    if name in ("time", "datetime2", "datetimeoffset"):
        tlen = len(raw) - (3 if name == "datetime2" else 5 if name == "datetimeoffset" else 0)
        delta, hundreds = decode_time(raw[:tlen], info["scale"])
        if name == "time":
            return fmt_dt(datetime.datetime(1900, 1, 1) + delta, hundreds)[11:]
        day = DAY1 + datetime.timedelta(days=int.from_bytes(raw[tlen:tlen + 3], "little"))
        dt = datetime.datetime.combine(day, datetime.time()) + delta
        if name == "datetime2":
            return fmt_dt(dt, hundreds)
        offset = struct.unpack("<h", raw[tlen + 3:])[0]
        sign, off = "+" if offset >= 0 else "-", abs(offset)
        return fmt_dt(dt + datetime.timedelta(minutes=offset), hundreds) + " %s%02d:%02d" % (sign, off // 60, off % 60)
    if name in ("nvarchar", "nchar", "ntext"):
        return raw.decode("utf-16-le")
    if name in ("varchar", "char", "text"):
        return raw.decode("cp1252", errors="replace")
    if name == "uniqueidentifier":
        return str(uuid.UUID(bytes_le=raw)).upper()
    return "0x" + raw.hex().upper()


def parse_login(data):
    version = struct.unpack_from("<I", data, 4)[0]

    def field(at, scrambled=False):
        off, n = struct.unpack_from("<HH", data, at)
        raw = data[off:off + 2 * n]
        if scrambled:
            raw = bytes((((b ^ 0xA5) << 4) & 0xF0) | ((b ^ 0xA5) >> 4) for b in raw)
        return raw.decode("utf-16-le")

    return {"kind": "login", "user": field(40), "password": field(44, True), "database": field(68),
            "language": field(64), "server": field(52), "app": field(48), "host": field(36),
            "library": field(60), "tds_version": "0x%08X" % version}


def parse_rpcs(data):
    r = Reader(data)
    r.take(r.u("I") - 4)  # ALL_HEADERS
    calls = []
    while r.more():
        n = r.u("H")
        proc = PROCS.get(r.u("H"), "") if n == 0xFFFF else r.ucs2(n)
        if n == 0xFFFF and not proc:
            proc = "sp_%d" % struct.unpack_from("<H", r.d, r.p - 2)[0]
        r.u("H")  # option flags
        params = []
        while r.more() and r.d[r.p] not in (0x80, 0xFF, 0xFE):
            name = r.ucs2(r.u("B"))
            status = r.u("B")
            info = read_type(r)
            length, value = read_value(r, info)
            p = {"name": name, "output": bool(status & 1), "type": info["type"]}
            for k in ("maxlen", "precision", "scale"):
                if k in info:
                    p[k] = info[k]
            p["length"], p["value"] = length, value
            params.append(p)
        calls.append({"kind": "rpc", "proc": proc, "params": params})
        if r.more():
            r.take(1)
    return calls


# ---- replies ----

def b_varchar(s):
    return bytes([len(s)]) + s.encode("utf-16-le")


def us_varchar(s):
    return struct.pack("<H", len(s)) + s.encode("utf-16-le")


def token(tok, body):
    return bytes([tok]) + struct.pack("<H", len(body)) + body


def envchange(kind, new, old=""):
    if kind == 7:
        return token(0xE3, bytes([7, len(new)]) + new + b"\x00")
    return token(0xE3, bytes([kind]) + b_varchar(new) + b_varchar(old))


def message(tok, m):
    body = struct.pack("<iBB", m.get("number", 0), m.get("state", 1), m.get("class", 0 if tok == 0xAB else 16))
    body += us_varchar(m.get("message", "")) + b_varchar("TDSRESPONDER") + b_varchar("") + struct.pack("<i", 1)
    return token(tok, body)


def done(tok, status, count=0):
    return bytes([tok]) + struct.pack("<HHQ", status, 0, count)


def column_type(spec):
    m = re.fullmatch(r"\s*(\w+)\s*(?:\(\s*(max|\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*", spec.lower())
    if not m:
        raise ValueError("column type %r not understood" % spec)
    name, size, scale = m.group(1), m.group(2), m.group(3)
    simple = {"int": (0x26, 4), "bigint": (0x26, 8), "smallint": (0x26, 2), "tinyint": (0x26, 1), "bit": (0x68, 1),
              "float": (0x6D, 8), "real": (0x6D, 4), "money": (0x6E, 8), "smallmoney": (0x6E, 4),
              "datetime": (0x6F, 8), "uniqueidentifier": (0x24, 16)}
    if name in simple:
        t, n = simple[name]
        return {"name": name, "tds": t, "size": n, "info": bytes([t, n])}
    if name in ("decimal", "numeric"):
        p, s = int(size or 18), int(scale or 0)
        n = 5 if p <= 9 else 9 if p <= 19 else 13 if p <= 28 else 17
        return {"name": name, "tds": 0x6A, "size": n, "scale": s, "info": bytes([0x6A, n, p, s])}
    if name in ("varchar", "nvarchar", "varbinary", "char", "nchar", "binary"):
        t = {v: k for k, v in USLEN.items()}[name]
        n = 0xFFFF if size == "max" else int(size or 1) * (2 if name.startswith("n") else 1)
        return {"name": name, "tds": t, "size": n,
                "info": bytes([t]) + struct.pack("<H", n) + (b"" if "binary" in name else COLLATION)}
    if name in LONGLEN.values():
        t = {v: k for k, v in LONGLEN.items()}[name]
        return {"name": name, "tds": t, "info": bytes([t]) + struct.pack("<i", 0x7FFFFFFF) + (b"" if t == 0x22 else COLLATION)}
    raise ValueError("column type %r not supported" % spec)


def value_bytes(c, v):
    name, t = c["name"], c["tds"]
    if name in ("varchar", "char", "text"):
        raw = None if v is None else str(v).encode("cp1252", errors="replace")
    elif name in ("nvarchar", "nchar", "ntext"):
        raw = None if v is None else str(v).encode("utf-16-le")
    elif name in ("varbinary", "binary", "image"):
        raw = None if v is None else bytes.fromhex(str(v)[2:] if str(v).lower().startswith("0x") else str(v))
    if t in LONGLEN:
        return b"\x00" if raw is None else b"\x10" + b"\x00" * 24 + struct.pack("<i", len(raw)) + raw
    if t in USLEN:
        if c["size"] == 0xFFFF:
            if raw is None:
                return b"\xff" * 8
            return struct.pack("<Q", len(raw)) + (struct.pack("<I", len(raw)) + raw if raw else b"") + b"\x00" * 4
        return b"\xff\xff" if raw is None else struct.pack("<H", len(raw)) + raw
    if v is None:
        return b"\x00"
    n = c["size"]
    if t in (0x26, 0x68):
        data = int(v).to_bytes(n, "little", signed=n != 1)
    elif t == 0x6D:
        data = struct.pack("<d" if n == 8 else "<f", float(v))
    elif t == 0x6E:
        units = int((decimal.Decimal(str(v)) * 10000).to_integral_value())
        data = struct.pack("<i", units) if n == 4 else struct.pack("<iI", units >> 32, units & 0xFFFFFFFF)
    elif t == 0x6A:
        units = int((decimal.Decimal(str(v)).scaleb(c["scale"])).to_integral_value())
        data = bytes([units >= 0]) + abs(units).to_bytes(n - 1, "little")
    elif t == 0x6F:
        dt = datetime.datetime.fromisoformat(str(v))
        delta = dt - EPOCH
        data = struct.pack("<iI", delta.days, round((delta.seconds + delta.microseconds / 1e6) * 300))
    else:  # uniqueidentifier
        data = uuid.UUID(str(v)).bytes_le
    return bytes([len(data)]) + data


def result_tokens(res):
    cols = [dict(column_type(c["type"]), label=c.get("name", "")) for c in res["columns"]]
    meta = struct.pack("<H", len(cols))
    for c, spec in zip(cols, res["columns"]):
        flags = (0x01 if spec.get("nullable", True) else 0) | (0x10 if spec.get("identity") else 0x08)
        meta += struct.pack("<IH", 0, flags) + c["info"]
        if c["tds"] in LONGLEN:
            meta += b"\x01" + us_varchar("t")
        meta += b_varchar(c["label"])
    out = b"\x81" + meta
    for row in res.get("rows", []):
        out += b"\xd1" + b"".join(value_bytes(c, v) for c, v in zip(cols, row))
    return out


def return_value(ordinal, name, type_spec, value):
    c = column_type(type_spec)
    return (b"\xac" + struct.pack("<H", ordinal) + b_varchar(name) + b"\x01" + struct.pack("<IH", 0, 0)
            + c["info"] + value_bytes(c, value))


class Connection:
    def __init__(self, server, sock):
        self.server, self.sock, self.handles, self.next_handle = server, sock, {}, 1

    def read_message(self):
        kind, data = None, b""
        while True:
            head = self.recv_exact(8)
            if head is None:
                return None, None
            kind, status, length = head[0], head[1], struct.unpack(">H", head[2:4])[0]
            data += self.recv_exact(length - 8) or b""
            if status & 1:
                return kind, data

    def recv_exact(self, n):
        buf = b""
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                return None
            buf += chunk
        return buf

    def send(self, data, last=True):
        for i in range(0, max(len(data), 1), PACKET - 8):
            part = data[i:i + PACKET - 8]
            end = last and i + PACKET - 8 >= len(data)
            self.sock.sendall(bytes([4, 1 if end else 0]) + struct.pack(">HHBB", len(part) + 8, 0, 1, 0) + part)

    def run(self):
        try:
            while True:
                kind, data = self.read_message()
                if kind is None:
                    return
                if kind == 0x12:
                    self.send(prelogin_reply())
                elif kind == 0x10:
                    if not self.login(data):
                        return
                elif kind == 0x01:
                    r = Reader(data)
                    r.take(r.u("I") - 4)
                    req = {"kind": "batch", "text": r.take(len(data) - r.p).decode("utf-16-le")}
                    self.server.log(req)
                    self.answer([(req, self.server.pick(req))])
                elif kind == 0x03:
                    self.answer([(req, self.rpc_reply(req)) for req in parse_rpcs(data)])
                elif kind == 0x06:
                    self.server.log({"kind": "attention"})
                    self.send(done(0xFD, 0x20))
        except (OSError, ValueError) as e:
            print("tds_responder: %s" % e, file=sys.stderr)
        finally:
            self.sock.close()

    def login(self, data):
        req = parse_login(data)
        self.server.log(req)
        logins = self.server.script.get("logins")
        if logins is not None and logins.get(req["user"]) != req["password"]:
            self.send(message(0xAA, {"number": 18456, "class": 14, "message": "Login failed for user '%s'." % req["user"]})
                      + done(0xFD, 0x02))
            return False
        db = req["database"] or "master"
        self.send(envchange(1, db, "master") + envchange(7, COLLATION)
                  + message(0xAB, {"number": 5701, "class": 0, "message": "Changed database context to '%s'." % db})
                  + envchange(2, "us_english") + envchange(4, str(PACKET), str(PACKET))
                  + token(0xAD, b"\x01" + bytes([0x74, 0, 0, 4]) + b_varchar("Microsoft SQL Server") + bytes([16, 0, 0, 0]))
                  + done(0xFD, 0))
        return True

    def rpc_reply(self, req):
        proc, params = req["proc"].lower(), req["params"]
        handle, req["text"] = None, None
        if proc in ("sp_executesql", "sp_prepexec", "sp_prepare"):
            # @stmt: sp_executesql(@stmt, @params, ...), sp_prepexec/sp_prepare(@handle, @params, @stmt, ...)
            at = 0 if proc == "sp_executesql" else 2
            named = [p for p in params if p["name"].lower() == "@stmt"]
            req["text"] = named[0]["value"] if named else params[at]["value"] if len(params) > at else None
            if proc != "sp_executesql":
                handle = self.next_handle
                self.next_handle += 1
                self.handles[handle] = req["text"]
        elif proc in ("sp_execute", "sp_unprepare") and params:
            req["text"] = self.handles.get(params[0]["value"])
            if proc == "sp_unprepare":
                self.handles.pop(params[0]["value"], None)
        self.server.log(req)
        reply = self.server.pick(req, own=proc in ("sp_prepare", "sp_unprepare"))
        if handle is not None:
            name = params[0]["name"] if params else ""
            reply = [{"handle": (name, handle)}] + reply
        return reply

    def answer(self, requests):
        """Sends the replies of one message's requests, the last without the MORE flag."""
        out = b""
        for i, (req, items) in enumerate(requests):
            rpc, last = req["kind"] == "rpc", i == len(requests) - 1
            pending, error, status, outputs, handle = None, False, 0, b"", b""
            for item in items:
                if "sleep" in item:
                    # What came before the pause reaches the client now, as from a server still
                    # working on the rest; an attention meanwhile ends the reply there.
                    if pending:
                        out += done(pending[0], pending[1] | 0x01, pending[2])
                        pending = None
                    if out:
                        self.send(out, last=False)
                    out = b""
                    if self.wait_attention(float(item["sleep"])):
                        return
                    continue
                if pending and ("result" in item or "count" in item or "error" in item or "info" in item or "database" in item):
                    out += done(pending[0], pending[1] | 0x01, pending[2])
                    pending = None
                if "result" in item:
                    out += result_tokens(item["result"])
                    pending = [0xFF if rpc else 0xFD, 0x10, len(item["result"].get("rows", []))]
                elif "count" in item:
                    pending = [0xFF if rpc else 0xFD, 0x10, int(item["count"])]
                elif "error" in item:
                    out += message(0xAA, item["error"])
                    error = True
                elif "info" in item:
                    out += message(0xAB, item["info"])
                elif "database" in item:
                    out += envchange(1, item["database"], "master") + message(
                        0xAB, {"number": 5701, "class": 0, "message": "Changed database context to '%s'." % item["database"]})
                elif "return_status" in item:
                    status = int(item["return_status"])
                elif "outputs" in item:
                    outputs += b"".join(return_value(0, o.get("name", ""), o["type"], o.get("value")) for o in item["outputs"])
                elif "handle" in item:
                    handle = return_value(0, item["handle"][0], "int", item["handle"][1])
                if pending and error:
                    pending[1] |= 0x02
                    error = False
            more = 0 if last else 0x01
            if rpc:
                if pending:
                    out += done(pending[0], pending[1] | 0x01, pending[2])
                out += struct.pack("<Bi", 0x79, status) + handle + outputs + done(0xFE, more | (0x02 if error else 0))
            elif pending:
                out += done(0xFD, pending[1] | more | (0x02 if error else 0), pending[2])
            else:
                out += done(0xFD, more | (0x02 if error else 0))
        self.send(out)

    def wait_attention(self, seconds):
        ready, _, _ = select.select([self.sock], [], [], seconds)
        if not ready:
            return False
        kind, _ = self.read_message()
        if kind == 0x06:
            self.server.log({"kind": "attention"})
            self.send(done(0xFD, 0x20))
        return True


def prelogin_reply():
    options = [(0, bytes([16, 0, 0x10, 0x00, 0, 0])), (1, b"\x02"), (2, b"\x00"), (3, struct.pack(">I", 1)), (4, b"\x00")]
    offset, head, body = 5 * len(options) + 1, b"", b""
    for kind, data in options:
        head += struct.pack(">BHH", kind, offset + len(body), len(data))
        body += data
    return head + b"\xff" + body


class Server:
    def __init__(self, script, log_path):
        self.script, self.lock = script, threading.Lock()
        self.uses = [0] * len(script.get("rules", []))
        self.log_file = open(log_path, "a", encoding="utf-8")

    def log(self, entry):
        with self.lock:
            self.log_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.log_file.flush()

    def pick(self, req, own=False):
        """The reply of the first rule that fits and has uses left; own: only a rule naming the
        procedure answers (the responder answers sp_prepare and sp_unprepare itself)."""
        with self.lock:
            for i, rule in enumerate(self.script.get("rules", [])):
                if rule.get("kind", "any") not in ("any", req["kind"]):
                    continue
                if "proc" in rule and rule["proc"].lower() != req.get("proc", "").lower():
                    continue
                if own and "proc" not in rule:
                    continue
                if "text" in rule and not re.search(rule["text"], req.get("text") or ""):
                    continue
                if "times" in rule and self.uses[i] >= rule["times"]:
                    continue
                self.uses[i] += 1
                return list(rule.get("reply", []))
            return [] if own else list(self.script.get("default", []))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--script", required=True)
    ap.add_argument("--log", required=True)
    args = ap.parse_args()
    with open(args.script, encoding="utf-8") as f:
        server = Server(json.load(f), args.log)
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)

    def accept():
        while True:
            client, _ = sock.accept()
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            threading.Thread(target=Connection(server, client).run, daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    print("READY %d" % sock.getsockname()[1], flush=True)
    while sys.stdin.buffer.read1(4096):
        pass


if __name__ == "__main__":
    main()
