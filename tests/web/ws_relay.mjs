// A loopback relay for the extension test while the server has no WebSocket
// endpoint of its own: /session upgrades become a TCP connection to the
// session port, each binary message written as is and each read sent back as
// one; every other request is forwarded to the web site.
//   node ws_relay.mjs LISTEN_PORT SESSION_PORT WEB_PORT
import http from "node:http";
import net from "node:net";
import {WebSocketServer} from "ws";

const [listenPort, sessionPort, webPort] = process.argv.slice(2).map(Number);
const server = http.createServer((req, res) => {
  const forward = http.request({host: "127.0.0.1", port: webPort, path: req.url, method: req.method,
                                headers: req.headers}, (answer) => {
    res.writeHead(answer.statusCode, answer.headers);
    answer.pipe(res);
  });
  forward.on("error", () => { res.writeHead(502); res.end(); });
  req.pipe(forward);
});
const wss = new WebSocketServer({noServer: true, maxPayload: 64 * 1024});
server.on("upgrade", (req, socket, head) => {
  if (req.url !== "/session") { socket.destroy(); return; }
  wss.handleUpgrade(req, socket, head, (ws) => {
    const tcp = net.connect(sessionPort, "127.0.0.1");
    tcp.on("data", (bytes) => ws.send(bytes, {binary: true}));
    tcp.on("close", () => ws.close());
    tcp.on("error", () => ws.close());
    ws.on("message", (bytes) => tcp.write(bytes));
    ws.on("close", () => tcp.destroy());
  });
});
server.listen(listenPort, "127.0.0.1", () => console.log(`relay on ${listenPort}`));
