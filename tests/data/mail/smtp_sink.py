"""A local SMTP server for the mail tests: it listens on 127.0.0.1 on a free port, prints the
port, and stores every message it receives, taken apart by Python's own mail parser, in a
directory of its own under the output directory (1, 2, ...): the envelope (mail_from,
rcpt_tos), the headers (from, to, cc, subject, decoded), the From addresses (name | address,
a line each), the text part's bytes (body), the attachment's name and bytes, the raw
message, and last an empty file "done". It stops when its standard input closes.

    python3 smtp_sink.py OUTPUT_DIRECTORY
"""
import asyncio
import email
import email.policy
import os
import sys
import threading

from aiosmtpd.smtp import SMTP


class Store:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        where = os.path.join(self.directory, str(self.count))
        os.makedirs(where)

        def put(name, data):
            with open(os.path.join(where, name), "wb") as f:
                f.write(data if isinstance(data, bytes) else data.encode("utf-8"))

        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        put("mail_from", envelope.mail_from)
        put("rcpt_tos", "\n".join(envelope.rcpt_tos))
        for header in ("from", "to", "cc", "subject"):
            put(header, str(message[header] or ""))
        sender = message["from"].addresses if message["from"] is not None else ()
        put("from_addresses", "\n".join(a.display_name + " | " + a.addr_spec for a in sender))
        put("raw", envelope.content)
        for part in message.walk():
            if part.get_content_maintype() == "multipart":
                continue
            if part.get_filename():
                put("attachment_name", part.get_filename())
                put("attachment", part.get_payload(decode=True))
            elif part.get_content_type() == "text/plain":
                put("body", part.get_payload(decode=True))
        put("done", b"")
        return "250 OK"


async def serve(directory):
    store = Store(directory)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: SMTP(store), "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    stopped = asyncio.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), loop.call_soon_threadsafe(stopped.set)), daemon=True).start()
    await stopped.wait()
    server.close()


asyncio.run(serve(sys.argv[1]))
