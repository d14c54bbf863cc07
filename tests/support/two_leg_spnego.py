"""A pytds authentication that logs in with Kerberos inside SPNEGO in two
legs, as a client does that offers its mechanisms before any token: the
LOGIN7 carries a NegTokenInit that lists Kerberos alone, the server answers
that it wants Kerberos (accept-incomplete), and the next leg carries the
Kerberos AP-REQ in a NegTokenResp (RFC 4178). With `sspi_messages` the next
leg goes in an SSPI message (packet type 0x11); without, in a packet of the
login's type, as pytds sends it. python3-gssapi."""
import gssapi
import pytds.tds
import pytds.tds_base

KERBEROS = bytes.fromhex("06092a864886f712010202")
SPNEGO = bytes.fromhex("06062b0601050502")


def der(tag, body):
    size = len(body)
    length = bytes([size]) if size < 0x80 else bytes([0x81, size]) if size < 0x100 else bytes([0x82, size >> 8,
                                                                                             size & 0xFF])
    return bytes([tag]) + length + body


class TwoLegSpnego:
    def __init__(self, service, sspi_messages):
        self.service = service
        self.legs = 0
        if sspi_messages:
            answer = pytds.tds._TdsSession.process_auth

            def process_auth(session):
                session._writer.begin_packet(pytds.tds_base.PacketType.AUTH)
                answer(session)

            pytds.tds._token_map[pytds.tds_base.TDS_AUTH_TOKEN] = process_auth

    def create_packet(self):
        self.legs = 1
        return der(0x60, SPNEGO + der(0xA0, der(0x30, der(0xA0, der(0x30, KERBEROS)))))

    def handle_next(self, token):
        if self.legs > 1:  # the server's last token: accept-completed and the AP-REP
            return b""
        self.legs += 1
        kerberos = gssapi.SecurityContext(name=gssapi.Name(self.service, gssapi.NameType.hostbased_service),
                                          mech=gssapi.MechType.kerberos, usage="initiate")
        return der(0xA1, der(0x30, der(0xA2, der(0x04, kerberos.step()))))

    def close(self):
        pass
