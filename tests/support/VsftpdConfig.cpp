#include "VsftpdServer.h"

std::string VsftpdConfig(int port, const std::string& anonRoot, const std::string& certificate,
                         const std::string& key, bool implicitTls) {
    return "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
           "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
           "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
           "anon_other_write_enable=YES\nanon_umask=022\nanon_world_readable_only=NO\nanon_root=" +
           anonRoot + "\nno_anon_password=YES\nssl_enable=YES\nimplicit_ssl=" + (implicitTls ? "YES" : "NO") +
           "\n"
           "allow_anon_ssl=YES\nforce_anon_data_ssl=YES\nforce_anon_logins_ssl=YES\n"
           "require_ssl_reuse=YES\nrsa_cert_file=" +
           certificate + "\nrsa_private_key_file=" + key +
           "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\npasv_enable=YES\n"
           "secure_chroot_dir=/var/run/vsftpd/empty\nxferlog_enable=NO\n";
}
