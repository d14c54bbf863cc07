// jTDS (the JDBC driver of Debian's libjtds-java) as a client program for
// jtds_test.py: reads one request a line from standard input, runs it on one
// connection and prints what JDBC gives back.
//   request: KIND <tab> SQL [<tab> VALUE ...]   KIND: query | prepared | call | autocommit
//   answer:  columns <tab> NAME...  /  row <tab> CELL...  /  error <tab> NUMBER <tab> TEXT  /  end
// Cells: \N for NULL, 0x... for bytes, else the text with tab, newline and backslash escaped.
// Usage: java -cp jtds.jar JtdsClient.java PORT USER PASSWORD [URL-PROPERTIES]
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.sql.*;

public class JtdsClient {
  static String cell(ResultSet r, int i, int type) throws SQLException {
    if (type == Types.BINARY || type == Types.VARBINARY || type == Types.LONGVARBINARY || type == Types.BLOB) {
      byte[] b = r.getBytes(i);
      if (b == null) return "\\N";
      StringBuilder s = new StringBuilder("0x");
      for (byte x : b) s.append(String.format("%02x", x));
      return s.toString();
    }
    String v = r.getString(i);
    if (v == null) return "\\N";
    return v.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n");
  }

  static void print(Statement s, boolean hasResults) throws SQLException {
    while (true) {
      if (hasResults) {
        try (ResultSet r = s.getResultSet()) {
          ResultSetMetaData m = r.getMetaData();
          StringBuilder head = new StringBuilder("columns");
          for (int i = 1; i <= m.getColumnCount(); ++i) head.append('\t').append(m.getColumnName(i));
          System.out.println(head);
          while (r.next()) {
            StringBuilder row = new StringBuilder("row");
            for (int i = 1; i <= m.getColumnCount(); ++i) row.append('\t').append(cell(r, i, m.getColumnType(i)));
            System.out.println(row);
          }
        }
      } else if (s.getUpdateCount() == -1) {
        return;
      }
      hasResults = s.getMoreResults();
    }
  }

  public static void main(String[] args) throws Exception {
    Class.forName("net.sourceforge.jtds.jdbc.Driver");
    String url = "jdbc:jtds:sqlserver://127.0.0.1:" + args[0] + "/master" + (args.length > 3 ? ";" + args[3] : "");
    BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8));
    try (Connection c = DriverManager.getConnection(url, args[1], args[2])) {
      String line;
      while ((line = in.readLine()) != null) {
        String[] part = line.split("\t", -1);
        try {
          switch (part[0]) {
            case "autocommit":
              c.setAutoCommit(Boolean.parseBoolean(part[1]));
              break;
            case "commit":
              c.commit();
              break;
            case "query": {
              try (Statement s = c.createStatement()) { print(s, s.execute(part[1])); }
              break;
            }
            default: {
              try (PreparedStatement p = part[0].equals("call") ? c.prepareCall(part[1]) : c.prepareStatement(part[1])) {
                for (int i = 2; i < part.length; ++i) p.setString(i - 1, part[i]);
                print(p, p.execute());
              }
            }
          }
        } catch (SQLException e) {
          System.out.println("error\t" + e.getErrorCode() + "\t" + e.getMessage().replace("\n", "\\n"));
        }
        System.out.println("end");
      }
    }
  }
}
