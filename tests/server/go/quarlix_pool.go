// A database/sql program over go-mssqldb (Debian's snapshot) against
// quarlix-server: N connections of one pool opened at once, each running one
// call, or W workers sharing the default pool for C calls. Prints one JSON
// object: the calls that succeeded, the errors (text: count) and the rows of
// the first success.
//
//	quarlix_pool -dsn DSN -sql "EXEC quarlix @p1, @p2" -arg A -arg B -burst 64
//	quarlix_pool -dsn DSN -sql ... -workers 20 -calls 100 [-keep-idle]
package main

import (
	"context"
	"database/sql"
	"encoding/json"
	"flag"
	"fmt"
	"os"
	"sync"

	_ "github.com/denisenkom/go-mssqldb"
)

type arguments []string

func (a *arguments) String() string     { return fmt.Sprint(*a) }
func (a *arguments) Set(v string) error { *a = append(*a, v); return nil }

type outcome struct {
	Succeeded int              `json:"succeeded"`
	Errors    map[string]int   `json:"errors"`
	Rows      [][]*string      `json:"rows"`
	mutex     sync.Mutex
}

func (o *outcome) record(rows [][]*string, err error) {
	o.mutex.Lock()
	defer o.mutex.Unlock()
	if err != nil {
		o.Errors[err.Error()]++
		return
	}
	if o.Succeeded == 0 {
		o.Rows = rows
	}
	o.Succeeded++
}

// query runs the statement and reads every row as text (NULL as null).
func query(ctx context.Context, q interface {
	QueryContext(context.Context, string, ...interface{}) (*sql.Rows, error)
}, statement string, values []interface{}) ([][]*string, error) {
	rows, err := q.QueryContext(ctx, statement, values...)
	if err != nil {
		return nil, err
	}
	defer rows.Close()
	columns, err := rows.Columns()
	if err != nil {
		return nil, err
	}
	all := [][]*string{}
	for rows.Next() {
		cells := make([]sql.NullString, len(columns))
		targets := make([]interface{}, len(columns))
		for i := range cells {
			targets[i] = &cells[i]
		}
		if err := rows.Scan(targets...); err != nil {
			return nil, err
		}
		row := make([]*string, len(columns))
		for i, cell := range cells {
			if cell.Valid {
				text := cell.String
				row[i] = &text
			}
		}
		all = append(all, row)
	}
	return all, rows.Err()
}

func main() {
	dsn := flag.String("dsn", "", "connection string")
	statement := flag.String("sql", "", "the statement")
	var args arguments
	flag.Var(&args, "arg", "a value for the next placeholder (repeatable)")
	burst := flag.Int("burst", 0, "connections of one pool opened at once, one call each")
	workers := flag.Int("workers", 0, "workers sharing the default pool")
	calls := flag.Int("calls", 0, "calls the workers make in all")
	keepIdle := flag.Bool("keep-idle", false, "keep every connection the workers open (never closed by the pool)")
	flag.Parse()

	values := make([]interface{}, len(args))
	for i, a := range args {
		values[i] = a
	}
	db, err := sql.Open("mssql", *dsn)
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(2)
	}
	result := &outcome{Errors: map[string]int{}}
	ctx := context.Background()
	var group sync.WaitGroup
	if *burst > 0 {
		// Every connection is opened at the same moment: a pool warming up.
		db.SetMaxOpenConns(*burst)
		db.SetMaxIdleConns(*burst)
		start := make(chan struct{})
		for i := 0; i < *burst; i++ {
			group.Add(1)
			go func() {
				defer group.Done()
				<-start
				conn, err := db.Conn(ctx)
				if err != nil {
					result.record(nil, err)
					return
				}
				rows, err := query(ctx, conn, *statement, values)
				result.record(rows, err)
				// Kept open (returned to the pool, not closed) until the process ends.
				conn.Close()
			}()
		}
		close(start)
	} else {
		if *keepIdle {
			db.SetMaxIdleConns(*workers)
		}
		jobs := make(chan struct{}, *calls)
		for i := 0; i < *calls; i++ {
			jobs <- struct{}{}
		}
		close(jobs)
		for w := 0; w < *workers; w++ {
			group.Add(1)
			go func() {
				defer group.Done()
				for range jobs {
					rows, err := query(ctx, db, *statement, values)
					result.record(rows, err)
				}
			}()
		}
	}
	group.Wait()
	if err := json.NewEncoder(os.Stdout).Encode(result); err != nil {
		os.Exit(2)
	}
	// No db.Close(): this driver snapshot panics in SetWriteDeadline when it
	// closes an encrypted connection. The process ends with them open.
	os.Exit(0)
}
