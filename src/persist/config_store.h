// ConfigStore: the section/key text file that keeps window state between runs, with large
// binary values in side files under "inibin". Bytes are GBK program text, lines end in CR LF.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>

namespace qb::persist {

class ConfigStore {
  public:
    ConfigStore() = default;
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // path is in the file system's form. Loads the file (missing: empty) and holds it open and
    // locked for writing; true when it is open. A file that cannot be opened or locked for
    // writing, or one too large to be a settings file, leaves the store without a file: reads
    // still work on what was loaded, writes change only the buffer.
    bool open_file(const std::string& path);
    void close_file();
    bool has_file() const { return fd_ >= 0; }
    // The file's contents were read (a missing file reads as empty).
    bool loaded() const { return loaded_; }
    // Why the file could not be read, opened for writing or written since it was opened (the
    // first such reason, program text), or empty.
    const std::string& error() const { return error_; }

    // Between begin_batch and the matching end_batch, writes change the buffer only; the
    // outermost end_batch writes the file once. end_batch is false when that write failed.
    void begin_batch();
    bool end_batch();
    // begin_batch for the length of a scope.
    class Batch {
      public:
        explicit Batch(ConfigStore& store) : store_(store) { store_.begin_batch(); }
        ~Batch() { store_.end_batch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        ConfigStore& store_;
    };
    const std::string& path() const { return path_; }

    void set_section(const std::string& name) { section_ = name; }
    const std::string& section() const { return section_; }
    // The section for the length of a scope, the one before it back afterwards: a window's
    // save or restore lets events run between its units, and another window's save in there
    // must not leave the rest of the first one in its own section.
    class SectionScope {
      public:
        SectionScope(ConfigStore& store, const std::string& name)
            : store_(store), before_(store.section_) {
            store_.section_ = name;
        }
        ~SectionScope() { store_.section_ = before_; }
        SectionScope(const SectionScope&) = delete;
        SectionScope& operator=(const SectionScope&) = delete;

      private:
        ConfigStore& store_;
        std::string before_;
    };
    bool has_section(const std::string& name) const;

    // Writes are queued: a write issued while another one is being performed (its event pump
    // may run handlers that write) returns false and is performed afterwards, in order.
    bool write_text(const std::string& key, const std::string& value);
    std::string read_text(const std::string& key, const std::string& fallback) const;
    bool write_number(const std::string& key, double value);
    double read_number(const std::string& key, double fallback) const;
    bool write_bool(const std::string& key, bool value);
    bool read_bool(const std::string& key, bool fallback) const;

    // Side file <folder>/inibin/<section>-<key>.ibn holding the raw bytes.
    bool write_bytes(const std::string& key, const std::string& bytes);
    std::string read_bytes(const std::string& key, const std::string& fallback) const;

    const std::string& buffer() const { return buffer_; }
    bool busy() const { return busy_; }

    // Lets pending user-interface events run; called at every step of a write.
    void set_pump(std::function<void()> pump) { pump_ = std::move(pump); }
    // Reports the failure of the append guard: the message, then the buffer's contents.
    void set_alert(std::function<void(const std::string& message, const std::string& dump)> alert) {
        alert_ = std::move(alert);
    }
    // Converts a side file's name (program text) to the file system's form.
    void set_name_encoder(std::function<std::string(const std::string&)> encode) {
        encode_name_ = std::move(encode);
    }

    static std::string number_text(double value);
    static std::string guard_message();

    // Files larger than this are not taken as a store (a settings file is a few kilobytes).
    static constexpr size_t kMaxFileSize = 32u << 20;

  private:
    struct PendingWrite {
        std::string section, key, value;
    };
    bool perform(const PendingWrite& w);
    // Offset of the section's header (found the way a write finds it), or npos.
    size_t find_header(const std::string& section, size_t from) const;
    // Offset of the CR LF that starts key's entry in the section whose header ends at
    // header_end, or npos.
    size_t find_entry(size_t header_end, const std::string& key) const;
    bool lookup(const std::string& key, std::string& value) const;
    bool flush();
    std::string side_file_path(const std::string& key) const;

    std::string path_;
    std::string target_;  // path_, or the file it links to
    int fd_ = -1;
    std::pair<unsigned long, unsigned long> held_{};  // device and inode of fd_
    std::string buffer_;
    std::string section_;
    std::deque<PendingWrite> queue_;
    bool busy_ = false;
    bool buffer_dirty_ = false;
    bool loaded_ = false;
    int batch_depth_ = 0;
    std::string error_;
    std::function<void()> pump_;
    std::function<void(const std::string&, const std::string&)> alert_;
    std::function<std::string(const std::string&)> encode_name_;
};

}  // namespace qb::persist
