# Sourced by the benchmark scripts that read from nginx on loopback.

# Writes WORK/nginx.conf for one worker serving WORK/root, its temporary
# files and logs in WORK, with the server lines given (a `listen` at least).
write_nginx_conf() { # WORK SERVER_LINE...
    local work=$1
    shift
    {
        cat <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/error.log;
pid $work/nginx.pid;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    server {
        root $work/root;
CONF
        printf '        %s\n' "$@"
        printf '    }\n}\n'
    } >"$work/nginx.conf"
}
