# shellcheck shell=bash
# Sourced by the scripts that put Debian's nginx in front of a navlet-server
# of their own, with the shipped recipes (docs/nginx) made for loopback: a
# test CA and a certificate it signs, and an nginx.conf that includes the
# recipes with the ports and the certificate replaced. Expects $repo (the
# tree's root).
: "${repo:?the sourcing script sets repo}"

# shellcheck disable=SC2034 # the sourcing scripts run it
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

# The stream module's file (Debian's libnginx-mod-stream), or nothing.
nginx_stream_module() {
  local module
  for module in /usr/lib/nginx/modules/ngx_stream_module.so \
    /usr/share/nginx/modules/ngx_stream_module.so; do
    [[ -f $module ]] && { echo "$module"; return 0; }
  done
  return 1
}

# nginx_front_cert DIR: DIR/ca.crt, a certificate it signs for 127.0.0.1 and
# localhost (DIR/server.crt, DIR/server.key; ECDSA P-256, as certbot makes
# by default) and an unrelated CA (DIR/other-ca.crt) that must not verify it.
nginx_front_cert() {
  local dir=$1
  (
    cd "$dir" || exit 1
    for ca in ca other-ca; do
      openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 \
        -subj "/CN=navlet-$ca" -keyout "$ca.key" -out "$ca.crt" 2>/dev/null || exit 1
    done
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=localhost \
      -keyout server.key -out server.csr 2>/dev/null || exit 1
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' >san.ext
    openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 \
      -extfile san.ext -out server.crt 2>/dev/null || exit 1
    chmod 644 server.key
  )
}

# nginx_front_conf DIR CERT_DIR TLS_PORT WEB_PORT STREAM_PORT BAR_PORT [WORKERS] [BUFFER]
# writes DIR/nginx.conf: the workers of navlet-workers.conf (WORKERS
# replaces `auto`), navlet-tls.conf on TLS_PORT in front of the web site on
# WEB_PORT and, with a STREAM_PORT, navlet-stream.conf on it in front of
# the bar port BAR_PORT. BUFFER replaces the proxy buffer of both recipes'
# sessions (4k for the stream, nginx's page for /session) and the TLS send
# buffer of /session (4k). Fails when a recipe no longer has the shape this
# replaces.
nginx_front_conf() {
  local dir=$1 certs=$2 tls_port=$3 web_port=$4 stream_port=$5 bar_port=$6
  local workers=${7:-auto} buffer=${8:-}
  local cert_paths=(
    -e "s|/etc/letsencrypt/live/navlet.example.org/fullchain.pem|$certs/server.crt|"
    -e "s|/etc/letsencrypt/live/navlet.example.org/privkey.pem|$certs/server.key|"
  )
  mkdir -p "$dir/nginx"
  # The recipe's descriptors, or as many as this machine lets a process raise
  # its limit to (nginx only warns, but the warning would hide real ones).
  local files=40000 hard
  hard=$(ulimit -Hn)
  [[ $hard != unlimited ]] && ((hard < files)) && files=$hard
  sed -e "s|worker_processes auto;|worker_processes $workers;|" \
    -e "s|worker_rlimit_nofile 40000;|worker_rlimit_nofile $files;|" \
    "$repo/docs/nginx/navlet-workers.conf" >"$dir/workers.conf"
  grep -q "worker_processes $workers;" "$dir/workers.conf" || return 1
  sed -e "s|listen 443 ssl;|listen 127.0.0.1:$tls_port ssl;|" \
    -e "s|server 127.0.0.1:8080;|server 127.0.0.1:$web_port;|" \
    -e "s|server_name navlet.example.org;|server_name localhost;|" \
    "${cert_paths[@]}" "$repo/docs/nginx/navlet-tls.conf" >"$dir/navlet-tls.conf"
  if [[ -n $buffer ]]; then
    sed -i -e "s|proxy_buffering off;|proxy_buffering off;\n        proxy_buffer_size $buffer;|" \
      -e "s|ssl_buffer_size [0-9]*k;|ssl_buffer_size $buffer;|" "$dir/navlet-tls.conf"
    grep -q "ssl_buffer_size $buffer;" "$dir/navlet-tls.conf" || return 1
  fi
  grep -q "listen 127.0.0.1:$tls_port ssl;" "$dir/navlet-tls.conf" || return 1
  grep -q "$certs/server.key" "$dir/navlet-tls.conf" || return 1
  local module_line="" stream_line=""
  if [[ -n $stream_port ]]; then
    sed -e "s|listen 4433 ssl|listen 127.0.0.1:$stream_port ssl|" \
      -e "s|server 127.0.0.1:8000;|server 127.0.0.1:$bar_port;|" \
      "${cert_paths[@]}" "$repo/docs/nginx/navlet-stream.conf" >"$dir/navlet-stream.conf"
    if [[ -n $buffer ]]; then
      sed -i -e "s|proxy_buffer_size [0-9]*k;|proxy_buffer_size $buffer;|" "$dir/navlet-stream.conf"
      grep -q "proxy_buffer_size $buffer;" "$dir/navlet-stream.conf" || return 1
    fi
    grep -q "listen 127.0.0.1:$stream_port ssl" "$dir/navlet-stream.conf" || return 1
    grep -q "server 127.0.0.1:$bar_port;" "$dir/navlet-stream.conf" || return 1
    module_line="load_module $(nginx_stream_module);"
    stream_line="include $dir/navlet-stream.conf;"
  fi
  cat >"$dir/nginx.conf" <<CONF
daemon off;
pid $dir/nginx/nginx.pid;
error_log $dir/nginx-error.log;
$module_line
include $dir/workers.conf;
$stream_line
http {
    access_log off;
    client_body_temp_path $dir/nginx/body;
    proxy_temp_path $dir/nginx/proxy;
    fastcgi_temp_path $dir/nginx/fastcgi;
    uwsgi_temp_path $dir/nginx/uwsgi;
    scgi_temp_path $dir/nginx/scgi;
    include $dir/navlet-tls.conf;
}
CONF
}
